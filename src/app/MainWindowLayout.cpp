// The main window's menus, views and "Add Item" panel, and where they stand as the window is
// resized.

#include "MainWindow.h"
#include "MainWindowParts.h"

#include "AppInfo.h"
#include "MapView.h"
#include "ObjectListModel.h"
#include "OptionsWindow.h"
#include "SplashWindow.h"
#include "Twips.h"
#include "WidgetText.h"

#include "document/Numbers.h"
#include "gamedata/GameSetup.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace starloom {

using namespace mainwindow;

void MainWindow::buildMenus()
{
    auto action = [this](QMenu* menu, const char* objectName, const char* caption) {
        auto* a = menu->addAction(name(caption));
        a->setObjectName(name(objectName));
        return a;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    connect(action(file, "mnuFileGlobals", "&Level Settings..."), &QAction::triggered, this, &MainWindow::showOptions);
    QAction* preferences = action(file, "mnuFilePreferences", "&Preferences...");
    preferences->setShortcuts(QKeySequence::keyBindings(QKeySequence::Preferences).isEmpty()
            ? QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+,"))}
            : QKeySequence::keyBindings(QKeySequence::Preferences));
    preferences->setMenuRole(QAction::PreferencesRole);
    connect(preferences, &QAction::triggered, this, &MainWindow::showPreferences);
    file->addSeparator();
    QAction* newLevel = action(file, "mnuFileNew", "&New Level");
    newLevel->setShortcut(QKeySequence::New);
    connect(newLevel, &QAction::triggered, this, [this] { handle([this] { m_editor.newLevel(); }); });
    QAction* open = action(file, "mnuFileOpen", "&Open Level...");
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] { handle([this] { m_editor.openChosenFile(); }); });
    QAction* load = action(file, "mnuFileLoad", "&Load Level");
    connect(load, &QAction::triggered, this, [this] { handle([this] { m_editor.loadChosenFile(); }); });
    QAction* save = action(file, "mnuFileSave", "&Save Level");
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this] { handle([this] { m_editor.saveAs(); }); });
    m_recentMenu = file->addMenu(QStringLiteral("&Recent Levels"));
    m_recentMenu->setObjectName(QStringLiteral("mnuFileRecent"));
    m_recentMenu->setEnabled(false);
    file->addSeparator();
    connect(action(file, "mnuFileExit", "E&xit"), &QAction::triggered, this, &MainWindow::exitProgram);

    // Undo and redo name the step they take back or do again ("Undo Place Asteroid #3"). The
    // editor's own undo() and redo() run them, so that a drag in progress ends first.
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("mnuEdit"));
    QUndoStack& stack = m_editor.undoStack();
    m_undoAction = stack.createUndoAction(edit, QStringLiteral("Undo"));
    m_undoAction->setObjectName(QStringLiteral("mnuEditUndo"));
    m_undoAction->setShortcuts(QKeySequence::Undo);
    disconnect(m_undoAction, &QAction::triggered, &stack, &QUndoStack::undo);
    connect(m_undoAction, &QAction::triggered, this, [this] { handle([this] { m_editor.undo(); }); });
    edit->addAction(m_undoAction);
    m_redoAction = stack.createRedoAction(edit, QStringLiteral("Redo"));
    m_redoAction->setObjectName(QStringLiteral("mnuEditRedo"));
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        if (!redoKeys.contains(key))
            redoKeys << key;
    m_redoAction->setShortcuts(redoKeys);
    disconnect(m_redoAction, &QAction::triggered, &stack, &QUndoStack::redo);
    connect(m_redoAction, &QAction::triggered, this, [this] { handle([this] { m_editor.redo(); }); });
    edit->addAction(m_redoAction);

    // The object list's pop-up; never in the menu bar.
    m_objectsMenu = new QMenu(QStringLiteral("Test"), this);
    m_objectsMenu->setObjectName(QStringLiteral("mnuObjects"));
    // Delete works anywhere in the window (a text box keeps the key for itself); the editor
    // ignores it when no row is selected.
    QAction* deleteObject = action(m_objectsMenu, "mnuObjectsDelete", "Delete Object");
    deleteObject->setShortcut(QKeySequence::Delete);
    deleteObject->setShortcutContext(Qt::WindowShortcut);
    addAction(deleteObject);
    connect(deleteObject, &QAction::triggered, this, [this] { handle([this] { m_editor.deleteObject(); }); });
    connect(action(m_objectsMenu, "mnuObjectsSetPlayer", "Set Player"), &QAction::triggered, this,
        [this] { handle([this] { m_editor.setStartPlayer(); }); });

    QMenu* labels = menuBar()->addMenu(QStringLiteral("&Labels"));
    labels->setObjectName(QStringLiteral("mnuLabels"));
    m_hideAll = action(labels, "mnuLabelsHideAll", "&Hide All Labels");
    m_hideAll->setCheckable(true);
    connect(m_hideAll, &QAction::triggered, this, [this] { handle([this] { m_editor.toggleAllLabels(); }); });
    labels->addSeparator();
    for (std::size_t i = 0; i < allKinds.size(); ++i) {
        const int typeId = typeIdOf(allKinds[i]);
        QAction* show = labels->addAction(name(kindTable[i].labelsCaption));
        show->setObjectName(QStringLiteral("mnuLabelsHide_%1").arg(typeId));
        show->setCheckable(true);
        connect(show, &QAction::triggered, this,
            [this, typeId] { handle([this, typeId] { m_editor.toggleLabels(typeId); }); });
        m_showKinds[i] = show;
    }

    // Escape disarms an armed zoom and ends placement anywhere in the window.
    auto* disarm = new QAction(this);
    disarm->setObjectName(QStringLiteral("actDisarmZoom"));
    disarm->setShortcut(QKeySequence(Qt::Key_Escape));
    disarm->setShortcutContext(Qt::WindowShortcut);
    addAction(disarm);
    connect(disarm, &QAction::triggered, this, [this] { handle([this] { m_editor.chooseSelectTool(); }); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    connect(action(help, "mnuHelpAbout", "&About"), &QAction::triggered, this, &MainWindow::showAbout);
    help->addSeparator();
    connect(action(help, "mnuHelpWebsite", "Goto Website"), &QAction::triggered, this,
        [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(homePageUrl))); });
}

void MainWindow::buildViews()
{
    auto label = [this](const char* objectName, const QString& text) {
        auto* l = new QLabel(text, m_central);
        l->setObjectName(name(objectName));
        return l;
    };

    m_list = new QTreeView(m_central);
    m_list->setObjectName(QStringLiteral("lstObjects"));
    m_listModel = new ObjectListModel(m_editor, m_list);
    m_list->setModel(m_listModel);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = m_list->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    header->resizeSection(0, twipsToPixels(objectColumnTwips, logicalDpiX()));
    header->resizeSection(1, 0);
    header->resizeSection(2, 0);
    m_list->viewport()->installEventFilter(this);
    connect(
        m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
            // A current row that is not selected (the list taking the focus) is no choice of the user's.
            if (current.isValid() && m_list->selectionModel()->isRowSelected(current.row()))
                handle([this, row = current.row()] {
                    m_editor.selectRow(row);
                    m_editor.editSelectedRow();
                });
        });
    connect(m_list, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        // Shift and Ctrl extend the selection (MainWindowEditing.cpp).
        if (QGuiApplication::keyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier))
            return;
        handle([this, row = index.row()] {
            m_editor.selectRow(row);
            m_editor.editSelectedRow();
        });
    });

    m_top = new MapView(MapView::Which::Top, m_editor, m_central);
    m_top->setObjectName(QStringLiteral("Picture1"));
    connect(m_top, &MapView::mouseMoved, this,
        [this](Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPointF world) {
            showPointer(world.x(), world.y());
            handle([=, this] { m_editor.moveOnTopView(buttons, modifiers, world); });
        });
    connect(m_top, &MapView::mouseReleased, this,
        [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF world) {
            handle([=, this] { m_editor.releaseOnTopView(button, modifiers, world); });
        });
    connect(m_top, &MapView::wheelTurned, this,
        [this](int steps, double x, double y) { handle([=, this] { m_editor.zoomAround(steps, QPointF(x, y)); }); });
    connect(m_top, &MapView::panned, this,
        [this](double dx, double dy) { handle([=, this] { m_editor.panTopView(dx, dy); }); });
    connect(m_top, &MapView::clicked, this, [this](int labelRow) {
        handle([=, this] {
            if (labelRow >= 0)
                m_editor.clickLabel(labelRow);
            else
                m_editor.clickTopView();
        });
    });

    m_front = new MapView(MapView::Which::Front, m_editor, m_central);
    m_front->setObjectName(QStringLiteral("picLeft"));
    connect(m_front, &MapView::mouseMoved, this, [this](Qt::MouseButtons, Qt::KeyboardModifiers, QPointF world) {
        handle([=, this] { m_editor.moveOnFrontView(world); });
    });
    connect(m_front, &MapView::clicked, this, [this](int) { handle([this] { m_editor.setHeightAtFrontPointer(); }); });

    m_frontCaption = label("Label2", QStringLiteral("Map Front View:"));
    m_lblX = label("lblX", QString());
    m_lblY = label("lblY", QString());
    m_lblLeftX = label("lblLeftX", QString());
    m_lblLeftY = label("lblLeftY", QString());
    m_mode = label("Label7", QString());

    m_zoomIn = new QPushButton(QStringLiteral("Zoom In"), m_central);
    m_zoomIn->setObjectName(QStringLiteral("cmdZoomIn"));
    connect(m_zoomIn, &QPushButton::clicked, this, [this] { handle([this] { m_editor.armZoom(); }); });
    m_zoomOut = new QPushButton(QStringLiteral("Zoom Out"), m_central);
    m_zoomOut->setObjectName(QStringLiteral("cmdZoomOut"));
    connect(m_zoomOut, &QPushButton::clicked, this, [this] { handle([this] { m_editor.zoomOutFully(); }); });
}

void MainWindow::buildPanel()
{
    const double dx = logicalDpiX();
    const double dy = logicalDpiY();
    m_frame = new QGroupBox(QStringLiteral("Add Item"), m_central);
    m_frame->setObjectName(QStringLiteral("Frame1"));
    // Everything inside the frame sits below its caption.
    auto at = [dx, dy](QWidget* w, double left, double top, double width, double height) {
        w->setGeometry(
            twipsToPixels(left, dx), twipsToPixels(top + 60, dy), twipsToPixels(width, dx), twipsToPixels(height, dy));
    };

    m_itemType = new QLabel(QStringLiteral("Item Type"), m_frame);
    m_itemType->setObjectName(QStringLiteral("Label4"));
    at(m_itemType, 120, 240, 2535, 225);

    auto* kinds = new QButtonGroup(this);
    kinds->setExclusive(true);
    for (std::size_t i = 0; i < m_kinds.size(); ++i) {
        const ItemKind kind = allKinds[i];
        auto* button = new QRadioButton(QString::fromLatin1(kindInfo(kind).caption), m_frame);
        button->setObjectName(QStringLiteral("Option%1").arg(typeIdOf(kind)));
        // Two columns: Player Start to Megalith, then Nebulae to Ships.
        constexpr std::size_t firstColumn = (allKinds.size() + 1) / 2;
        const bool second = i >= firstColumn;
        at(button, second ? 1560 : 120, 480 + 270.0 * double(second ? i - firstColumn : i), second ? 1155 : 1425, 255);
        kinds->addButton(button);
        connect(button, &QRadioButton::clicked, this,
            [this, kind] { handle([this, kind] { m_editor.chooseKind(kind); }); });
        m_kinds[i] = button;
    }

    m_models = new QComboBox(m_frame);
    m_models->setObjectName(QStringLiteral("Combo1"));
    m_models->setEditable(false);
    at(m_models, 120, 1890, 2535, 315);
    connect(m_models, &QComboBox::activated, this,
        [this](int index) { handle([this, index] { m_editor.chooseModel(index); }); });

    for (int i = 0; i < 4; ++i) {
        const double top = 2310 + 360.0 * i;
        auto* caption = new QLabel(m_frame);
        caption->setObjectName(QStringLiteral("Label1_%1").arg(i));
        at(caption, 120, top + 30, 2535, 225);
        auto* field = new QLineEdit(m_frame);
        field->setObjectName(QStringLiteral("Text1_%1").arg(i));
        at(field, 1500, top, 1155, 285);
        connect(field, &QLineEdit::textEdited, this,
            [this, i](const QString& text) { handle([this, i, text] { m_editor.setFieldText(i, text); }); });
        m_fieldCaptions[static_cast<std::size_t>(i)] = caption;
        m_fields[static_cast<std::size_t>(i)] = field;
    }

    m_colour = new QPushButton(QStringLiteral("Colour"), m_frame);
    m_colour->setObjectName(QStringLiteral("cmdColourSelect"));
    at(m_colour, 120, 3780, 1215, 375);
    connect(m_colour, &QPushButton::clicked, this, [this] { handle([this] { m_editor.pickColour(); }); });
    m_apply = new QPushButton(QStringLiteral("Apply"), m_frame);
    m_apply->setObjectName(QStringLiteral("cmdApply"));
    at(m_apply, 1440, 3780, 1215, 375);
    connect(m_apply, &QPushButton::clicked, this, [this] { handle([this] { m_editor.applyPanel(); }); });

    m_customCaption = new QLabel(QStringLiteral("Custom Ship"), m_frame);
    m_customCaption->setObjectName(QStringLiteral("Label5"));
    at(m_customCaption, 120, 4260, 2535, 225);
    m_customName = new QLineEdit(m_frame);
    m_customName->setObjectName(QStringLiteral("txtCustomShip"));
    at(m_customName, 120, 4500, 2535, 285);
    connect(m_customName, &QLineEdit::textEdited, this,
        [this](const QString& text) { handle([this, text] { m_editor.setCustomName(text); }); });

    m_setHeight = new QCheckBox(QStringLiteral("Set Height To:"), m_frame);
    m_setHeight->setObjectName(QStringLiteral("chkSetHeight"));
    at(m_setHeight, 120, 4935, 1500, 285);
    connect(m_setHeight, &QCheckBox::clicked, this,
        [this](bool checked) { handle([this, checked] { m_editor.setSetHeightChecked(checked); }); });
    m_setHeightText = new QLineEdit(m_frame);
    m_setHeightText->setObjectName(QStringLiteral("txtSetHeight"));
    at(m_setHeightText, 1680, 4935, 975, 285);
    connect(m_setHeightText, &QLineEdit::textEdited, this,
        [this](const QString& text) { handle([this, text] { m_editor.setSetHeightText(text); }); });
    m_randomHeight = new QCheckBox(QStringLiteral("Random Height Variance:"), m_frame);
    m_randomHeight->setObjectName(QStringLiteral("chkRandomHeight"));
    at(m_randomHeight, 120, 5295, 2535, 285);
    connect(m_randomHeight, &QCheckBox::clicked, this,
        [this](bool checked) { handle([this, checked] { m_editor.setRandomHeightChecked(checked); }); });
    m_randomHeightText = new QLineEdit(m_frame);
    m_randomHeightText->setObjectName(QStringLiteral("txtRandomHeight"));
    at(m_randomHeightText, 1680, 5610, 975, 285);
    connect(m_randomHeightText, &QLineEdit::textEdited, this,
        [this](const QString& text) { handle([this, text] { m_editor.setRandomHeightText(text); }); });
}

QSize MainWindow::minimumWindowSize() const
{
    // The panel, which keeps to the right edge, clear of the zoom buttons, which keep to the left.
    const int width = twipsToPixels(zoomOutRightTwips + panelGapTwips + 2950 - nonClientWidthTwips, logicalDpiX());
    // Every control of the panel inside the client area, and the status bar below it.
    return {width, minimumClientHeight() + menuBar()->sizeHint().height() + statusBar()->sizeHint().height()};
}

int MainWindow::minimumClientHeight() const
{
    return twipsToPixels(60 + panelContentBottomTwips, logicalDpiY());
}

bool MainWindow::placeWidgets()
{
    if (isMinimized())
        return false;
    const double dx = logicalDpiX();
    const double dy = logicalDpiY();
    const double W = pixelsToTwips(m_central->width(), dx) + nonClientWidthTwips;
    const double H = pixelsToTwips(m_central->height() + menuBar()->height(), dy) + nonClientHeightTwips;
    if (W <= 3000)
        return false;
    auto at = [dx, dy](QWidget* w, double left, double top, double width, double height) {
        w->setGeometry(twipsToPixels(left, dx), twipsToPixels(top, dy), twipsToPixels(std::max(width, 0.0), dx),
            twipsToPixels(std::max(height, 0.0), dy));
    };
    const double a = std::nearbyint(H / 4 * 3);
    const double b = std::nearbyint(H / 4);
    const double listHeight = H - 800;
    const double topWidth = W - listWidthTwips - frameWidthTwips - 400;
    // A window too short for the top view keeps a view of no height rather than a negative one.
    const double topHeight = std::max(a - 1500, 0.0);
    const double frontTop = topHeight + 500;

    at(m_list, 60, 60, listWidthTwips, listHeight);
    at(m_frame, W - 2950, 60, frameWidthTwips, listHeight);
    at(m_top, 2100, 300, topWidth, topHeight);
    at(m_frontCaption, 2100, topHeight + 300, 2000, 195);
    at(m_front, 2100, frontTop, topWidth, b);
    at(m_lblX, 2100, 60, 780, 225);
    at(m_lblY, 2880, 60, 780, 225);
    at(m_mode, 3720, 60, 2400, 225);
    at(m_zoomIn, 6180, 0, 795, 315);
    at(m_zoomOut, 7080, 0, 915, 315);
    at(m_lblLeftX, 2100, frontTop + b + 70, 780, 225);
    at(m_lblLeftY, 2880, frontTop + b + 70, 780, 225);
    return true;
}

void MainWindow::layoutWindow()
{
    if (placeWidgets())
        handle([this] { m_editor.setScales(); });
}

} // namespace starloom
