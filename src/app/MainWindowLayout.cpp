// The main window's menus, its two views (top above front) and the item panel.

#include "MainWindow.h"
#include "MainWindowParts.h"

#include "AppInfo.h"
#include "MapView.h"
#include "ObjectListModel.h"
#include "OptionsWindow.h"
#include "SplashWindow.h"
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
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
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
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>

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
    QAction* fromGame = action(file, "mnuFileOpenFromGame", "Open from &Game...");
    connect(fromGame, &QAction::triggered, this, [this] { handle([this] { openFromGame(); }); });
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

    // The object list, in its dock at the left (MainWindowDocks.cpp).
    buildObjectList();

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
    m_front->shareItemsWith(*m_top);
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

    // The top view above the front view, a splitter between them; each view's readouts with it.
    auto* split = new QSplitter(Qt::Vertical, m_central);
    split->setObjectName(QStringLiteral("splitViews"));
    split->setChildrenCollapsible(false);
    auto* topPane = new QWidget(split);
    auto* topLayout = new QVBoxLayout(topPane);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(2);
    auto* readouts = new QHBoxLayout;
    m_lblX->setMinimumWidth(m_lblX->fontMetrics().horizontalAdvance(QStringLiteral("-99999999")));
    m_lblLeftX->setMinimumWidth(m_lblX->minimumWidth());
    readouts->addWidget(m_lblX);
    readouts->addWidget(m_lblY, 1);
    topLayout->addLayout(readouts);
    m_top->setParent(topPane);
    m_top->setMinimumSize(200, 120);
    topLayout->addWidget(m_top, 1);
    auto* frontPane = new QWidget(split);
    auto* frontLayout = new QVBoxLayout(frontPane);
    frontLayout->setContentsMargins(0, 0, 0, 0);
    frontLayout->setSpacing(2);
    m_frontCaption->setParent(frontPane);
    frontLayout->addWidget(m_frontCaption);
    m_front->setParent(frontPane);
    m_front->setMinimumSize(200, 60);
    frontLayout->addWidget(m_front, 1);
    auto* frontReadouts = new QHBoxLayout;
    m_lblLeftX->setParent(frontPane);
    m_lblLeftY->setParent(frontPane);
    frontReadouts->addWidget(m_lblLeftX);
    frontReadouts->addWidget(m_lblLeftY, 1);
    frontLayout->addLayout(frontReadouts);
    split->addWidget(topPane);
    split->addWidget(frontPane);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    m_viewSplit = split;
    auto* central = new QVBoxLayout(m_central);
    central->setContentsMargins(2, 2, 2, 2);
    central->addWidget(split);
}

void MainWindow::buildPanel()
{
    m_frame = new QGroupBox(QStringLiteral("Add Item"), this);
    m_frame->setObjectName(QStringLiteral("Frame1"));
    auto* panel = new QVBoxLayout(m_frame);

    m_itemType = new QLabel(QStringLiteral("Item Type"), m_frame);
    m_itemType->setObjectName(QStringLiteral("Label4"));
    panel->addWidget(m_itemType);

    // Two columns: Player Start to Megalith, then Nebulae to Ships (and "Select" below them).
    m_kindGrid = new QGridLayout;
    auto* kinds = new QButtonGroup(this);
    kinds->setExclusive(true);
    constexpr std::size_t firstColumn = (allKinds.size() + 1) / 2;
    for (std::size_t i = 0; i < m_kinds.size(); ++i) {
        const ItemKind kind = allKinds[i];
        auto* button = new QRadioButton(QString::fromLatin1(kindInfo(kind).caption), m_frame);
        button->setObjectName(QStringLiteral("Option%1").arg(typeIdOf(kind)));
        const bool second = i >= firstColumn;
        m_kindGrid->addWidget(button, int(second ? i - firstColumn : i), second ? 1 : 0, Qt::AlignLeft);
        kinds->addButton(button);
        connect(button, &QRadioButton::clicked, this,
            [this, kind] { handle([this, kind] { m_editor.chooseKind(kind); }); });
        m_kinds[i] = button;
    }
    panel->addLayout(m_kindGrid);

    m_models = new QComboBox(m_frame);
    m_models->setObjectName(QStringLiteral("Combo1"));
    m_models->setEditable(false);
    m_models->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_models->setMinimumContentsLength(12);
    panel->addWidget(m_models);
    connect(m_models, &QComboBox::activated, this,
        [this](int index) { handle([this, index] { m_editor.chooseModel(index); }); });

    // The selected items' position in world units: what they share, blank where they differ;
    // Enter or leaving the field moves them all, as one step.
    const std::pair<const char*, const char*> axes[] = {{"txtPosX", "X"}, {"txtPosY", "Y"}, {"txtPosHeight", "Height"}};
    for (std::size_t i = 0; i < std::size(axes); ++i) {
        auto* row = new QHBoxLayout;
        auto* caption = new QLabel(name(axes[i].second), m_frame);
        caption->setObjectName(QStringLiteral("lblPos%1").arg(i));
        auto* field = new QLineEdit(m_frame);
        field->setObjectName(name(axes[i].first));
        field->setPlaceholderText(QStringLiteral("(several)"));
        field->setToolTip(QStringLiteral("%1 of the selected items, in world units").arg(name(axes[i].second)));
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("-2147483648")) + 12);
        field->setMaximumWidth(field->minimumWidth() * 3 / 2);
        row->addWidget(caption, 1);
        row->addWidget(field);
        panel->addLayout(row);
        const auto axis = static_cast<Editor::Axis>(i);
        connect(field, &QLineEdit::editingFinished, this, [this, field, axis] {
            if (!field->isModified())
                return;
            field->setModified(false);
            handle([this, field, axis] {
                const QString reason = m_editor.setSelectionCoordinate(axis, field->text());
                markField(field, reason);
            });
        });
        m_positionCaptions[i] = caption;
        m_position[i] = field;
    }

    // A caption and its text box a row each; a caption without a box takes the whole row. The
    // captions are as wide as the widest any kind shows, so the panel never changes its width.
    int widestCaption = 0;
    for (const ItemKind kind : allKinds) {
        Panel shown;
        shown.kind = kind;
        showKindControls(shown);
        for (const PanelField& f : shown.fields)
            widestCaption = std::max(widestCaption, m_frame->fontMetrics().horizontalAdvance(f.label));
    }
    for (int i = 0; i < 4; ++i) {
        auto* row = new QHBoxLayout;
        auto* caption = new QLabel(m_frame);
        caption->setObjectName(QStringLiteral("Label1_%1").arg(i));
        caption->setMinimumWidth(widestCaption + 2);
        auto* field = new QLineEdit(m_frame);
        field->setObjectName(QStringLiteral("Text1_%1").arg(i));
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("-2147483648")) + 12);
        field->setMaximumWidth(field->minimumWidth() * 3 / 2);
        row->addWidget(caption, 1);
        row->addWidget(field);
        panel->addLayout(row);
        // Typing fills the panel (what Apply and the next placement take); with several items
        // selected the field stands for them and only Enter or leaving it stores its text.
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (m_editor.selection().size() <= 1)
                handle([this, i, text] { m_editor.setFieldText(i, text); });
        });
        // Enter or leaving the field: the items it stands for take its value at once (a text they
        // cannot take is refused and marked); while placing, it is checked as placing will take it.
        connect(field, &QLineEdit::editingFinished, this, [this, field, i] {
            if (!field->isModified() || field->isReadOnly())
                return;
            field->setModified(false);
            handle([this, field, i] {
                const bool items = m_editor.selection().size() > 1
                    || (m_editor.mode() == EditorMode::Editing && m_editor.selectedRow() >= 0);
                markField(
                    field, items ? m_editor.setSelectionField(i, field->text()) : m_editor.placementFieldError(i));
            });
        });
        m_fieldCaptions[static_cast<std::size_t>(i)] = caption;
        m_fields[static_cast<std::size_t>(i)] = field;
    }

    auto* buttons = new QHBoxLayout;
    m_colour = new QPushButton(QStringLiteral("Colour"), m_frame);
    m_colour->setObjectName(QStringLiteral("cmdColourSelect"));
    connect(m_colour, &QPushButton::clicked, this, [this] { handle([this] { m_editor.pickColour(); }); });
    m_apply = new QPushButton(QStringLiteral("Apply"), m_frame);
    m_apply->setObjectName(QStringLiteral("cmdApply"));
    connect(m_apply, &QPushButton::clicked, this, [this] { handle([this] { m_editor.applyPanel(); }); });
    buttons->addWidget(m_colour);
    buttons->addWidget(m_apply);
    panel->addLayout(buttons);
    m_panelLayout = panel;

    m_customCaption = new QLabel(QStringLiteral("Custom Ship"), m_frame);
    m_customCaption->setObjectName(QStringLiteral("Label5"));
    panel->addWidget(m_customCaption);
    m_customName = new QLineEdit(m_frame);
    m_customName->setObjectName(QStringLiteral("txtCustomShip"));
    panel->addWidget(m_customName);
    connect(m_customName, &QLineEdit::textEdited, this,
        [this](const QString& text) { handle([this, text] { m_editor.setCustomName(text); }); });

    auto* heights = new QGridLayout;
    heights->setColumnStretch(0, 1);
    m_setHeight = new QCheckBox(QStringLiteral("Set Height To:"), m_frame);
    m_setHeight->setObjectName(QStringLiteral("chkSetHeight"));
    connect(m_setHeight, &QCheckBox::clicked, this,
        [this](bool checked) { handle([this, checked] { m_editor.setSetHeightChecked(checked); }); });
    m_setHeightText = new QLineEdit(m_frame);
    m_setHeightText->setObjectName(QStringLiteral("txtSetHeight"));
    connect(m_setHeightText, &QLineEdit::textEdited, this,
        [this](const QString& text) { handle([this, text] { m_editor.setSetHeightText(text); }); });
    m_randomHeight = new QCheckBox(QStringLiteral("Random Height Variance:"), m_frame);
    m_randomHeight->setObjectName(QStringLiteral("chkRandomHeight"));
    connect(m_randomHeight, &QCheckBox::clicked, this,
        [this](bool checked) { handle([this, checked] { m_editor.setRandomHeightChecked(checked); }); });
    m_randomHeightText = new QLineEdit(m_frame);
    m_randomHeightText->setObjectName(QStringLiteral("txtRandomHeight"));
    connect(m_randomHeightText, &QLineEdit::textEdited, this,
        [this](const QString& text) { handle([this, text] { m_editor.setRandomHeightText(text); }); });
    heights->addWidget(m_setHeight, 0, 0);
    heights->addWidget(m_setHeightText, 0, 1);
    heights->addWidget(m_randomHeight, 1, 0, 1, 2);
    heights->addWidget(m_randomHeightText, 2, 1);
    panel->addLayout(heights);
    panel->addStretch(1);
}

} // namespace starloom
