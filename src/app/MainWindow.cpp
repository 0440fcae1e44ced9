#include "MainWindow.h"

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

namespace {

// The layout rules measure the window from its outer edges: two 4-pixel borders and a 19-pixel
// caption around the menu bar and the client area.
constexpr double nonClientWidthTwips = 120;
constexpr double nonClientHeightTwips = 405;

constexpr double listWidthTwips = 1995;
constexpr double frameWidthTwips = 2775;
constexpr double defaultWidthTwips = 15000;
constexpr double defaultHeightTwips = 10500;
constexpr double objectColumnTwips = 1700.22;
// The "Add Item" panel starts this far right of the "Zoom Out" button at the smallest width, and
// its lowest control and its border end this far down inside it.
constexpr double zoomOutRightTwips = 7995;
constexpr double panelGapTwips = 105;
constexpr double panelContentBottomTwips = 6075;

constexpr std::array<void (Editor::*)(), 9> kindHandlers = {
    &Editor::Option1_Click,
    &Editor::Option2_Click,
    &Editor::Option3_Click,
    &Editor::Option4_Click,
    &Editor::Option5_Click,
    &Editor::Option6_Click,
    &Editor::Option7_Click,
    &Editor::Option8_Click,
    &Editor::Option9_Click,
};

constexpr std::array<const char*, 9> showCaptions = {
    "Show P&layer Starts",
    "Show &Asteroids",
    "Show &Clouds",
    "Show &Dust Clouds",
    "Show &Megaliths",
    "Show &Nebulae",
    "Show &Pebbles",
    "Show &Salvage Chunks",
    "Show Sh&ips",
};

void setShown(QWidget* widget, bool shown)
{
    if (widget->isHidden() == shown)
        widget->setVisible(shown);
}

QString name(const char* text)
{
    return QString::fromLatin1(text);
}

// The kinds as the status bar counts them, in the order of their option buttons.
constexpr std::array<const char*, 9> countNames = {
    "Starts",
    "Asteroids",
    "Clouds",
    "Dust Clouds",
    "Megaliths",
    "Nebulae",
    "Pebbles",
    "Salvage",
    "Ships",
};

// The level files among dragged URLs.
QStringList levelFilesOf(const QMimeData* mime)
{
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && url.toLocalFile().endsWith(QStringLiteral(".level"), Qt::CaseInsensitive))
            files << url.toLocalFile();
    return files;
}

} // namespace

template <class F> void MainWindow::handle(F&& handler)
{
    if (m_refreshing)
        return;
    ++m_handlerDepth;
    handler();
    --m_handlerDepth;
    refresh();
}

MainWindow::MainWindow(SettingsStore& settings, const QString& gameDir, EditorHost* host, QWidget* parent)
    : MainWindow(settings, gameCatalogue(gameDir), host, parent)
{
}

MainWindow::MainWindow(SettingsStore& settings, Catalogue catalogue, EditorHost* host, QWidget* parent)
    : QMainWindow(parent),
      m_dialogs(this),
      m_editor(
          host ? *host : static_cast<EditorHost&>(m_dialogs), settings, defaultRandomSource(), std::move(catalogue))
{
    setObjectName(QStringLiteral("frmMain"));
    m_dialogs.setBeforeMessage([this] { refresh(); });
    // The layout is designed for an 8-point interface font.
    QFont interfaceFont = font();
    interfaceFont.setPointSizeF(8);
    setFont(interfaceFont);
    m_central = new QWidget(this);
    m_central->setObjectName(QStringLiteral("frmMainClient"));
    setCentralWidget(m_central);
    m_central->installEventFilter(this);

    buildMenus();
    buildViews();
    buildPanel();
    buildEditingUi();

    QStatusBar* status = statusBar();
    status->setObjectName(QStringLiteral("statusBar"));
    status->setSizeGripEnabled(false);
    m_counts = new QLabel(status);
    m_counts->setObjectName(QStringLiteral("lblCounts"));
    status->addWidget(m_counts, 1);
    m_gameStatus = new QLabel(status);
    m_gameStatus->setObjectName(QStringLiteral("lblGameStatus"));
    status->addPermanentWidget(m_gameStatus);
    m_pointer = new QLabel(status);
    m_pointer->setObjectName(QStringLiteral("lblPointer"));
    status->addPermanentWidget(m_pointer);
    m_gridSpacing = new QLabel(status);
    m_gridSpacing->setObjectName(QStringLiteral("lblGridSpacing"));
    status->addPermanentWidget(m_gridSpacing);
    m_shownCounts.fill(-1);
    setAcceptDrops(true);

    m_options = new OptionsWindow(m_editor, this);
    m_options->hide();
    connect(m_options, &OptionsWindow::handlerRan, this, [this] { refresh(); });

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, [this] {
        // A message box opened by a handler runs its own event loop; the drag waits for it.
        if (m_handlerDepth == 0)
            handle([this] { m_editor.Timer1_Timer(); });
    });
    m_timer->start();

    // Started once the window knows where to keep the copy (useRecoveryFile).
    m_recoveryTimer = new QTimer(this);
    m_recoveryTimer->setObjectName(QStringLiteral("tmrRecovery"));
    m_recoveryTimer->setInterval(60000);
    connect(m_recoveryTimer, &QTimer::timeout, this, [this] {
        if (m_handlerDepth == 0)
            m_editor.writeRecoveryCopy();
    });

    QSize size(twipsToPixels(defaultWidthTwips - nonClientWidthTwips, logicalDpiX()),
        twipsToPixels(defaultHeightTwips - nonClientHeightTwips, logicalDpiY()));
    if (const QScreen* screen = this->screen())
        size = size.boundedTo(screen->availableSize() * 0.95);
    setMinimumSize(minimumWindowSize());
    resize(size);
    placeWidgets();
    refresh();
}

void MainWindow::showGameStatus(const QString& text)
{
    m_gameStatus->setToolTip(text);
    m_gameStatus->setText(m_gameStatus->fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(200, width() / 3)));
}

MainWindow::~MainWindow()
{
    // The widgets read the editor, which is destroyed before the QWidget base deletes children.
    m_timer->stop();
    // No event of a widget being destroyed may reach the filter below.
    m_central->removeEventFilter(this);
    if (m_list)
        m_list->viewport()->removeEventFilter(this);
    m_list = nullptr;
    delete m_options;
    delete m_splash;
    delete takeCentralWidget();
}

void MainWindow::buildMenus()
{
    auto action = [this](QMenu* menu, const char* objectName, const char* caption) {
        auto* a = menu->addAction(name(caption));
        a->setObjectName(name(objectName));
        return a;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    connect(action(file, "mnuFileGlobals", "&Options"), &QAction::triggered, this, &MainWindow::showOptions);
    file->addSeparator();
    QAction* newLevel = action(file, "mnuFileNew", "&New Level");
    newLevel->setShortcut(QKeySequence::New);
    connect(newLevel, &QAction::triggered, this, [this] { handle([this] { m_editor.mnuFileNew_Click(); }); });
    QAction* open = action(file, "mnuFileOpen", "&Open Level...");
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] { handle([this] { m_editor.mnuFileOpen_Click(); }); });
    QAction* load = action(file, "mnuFileLoad", "&Load Level");
    connect(load, &QAction::triggered, this, [this] { handle([this] { m_editor.mnuFileLoad_Click(); }); });
    QAction* save = action(file, "mnuFileSave", "&Save Level");
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this] { handle([this] { m_editor.mnuFileSave_Click(); }); });
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
    connect(deleteObject, &QAction::triggered, this, [this] { handle([this] { m_editor.mnuObjectsDelete_Click(); }); });
    connect(action(m_objectsMenu, "mnuObjectsSetPlayer", "Set Player"), &QAction::triggered, this,
        [this] { handle([this] { m_editor.mnuObjectsSetPlayer_Click(); }); });

    QMenu* labels = menuBar()->addMenu(QStringLiteral("&Labels"));
    labels->setObjectName(QStringLiteral("mnuLabels"));
    m_hideAll = action(labels, "mnuLabelsHideAll", "&Hide All Labels");
    m_hideAll->setCheckable(true);
    connect(m_hideAll, &QAction::triggered, this, [this] { handle([this] { m_editor.mnuLabelsHideAll_Click(); }); });
    labels->addSeparator();
    for (int typeId = 1; typeId <= 9; ++typeId) {
        QAction* show = labels->addAction(name(showCaptions[static_cast<std::size_t>(typeId - 1)]));
        show->setObjectName(QStringLiteral("mnuLabelsHide_%1").arg(typeId));
        show->setCheckable(true);
        connect(show, &QAction::triggered, this,
            [this, typeId] { handle([this, typeId] { m_editor.mnuLabelsHide_Click(typeId); }); });
        m_showKinds[static_cast<std::size_t>(typeId - 1)] = show;
    }

    // Escape disarms an armed zoom anywhere in the window.
    auto* disarm = new QAction(this);
    disarm->setObjectName(QStringLiteral("actDisarmZoom"));
    disarm->setShortcut(QKeySequence(Qt::Key_Escape));
    disarm->setShortcutContext(Qt::WindowShortcut);
    addAction(disarm);
    connect(disarm, &QAction::triggered, this, [this] { handle([this] { m_editor.cmdSelect_Click(); }); });

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
                    m_editor.lstObjects_Click();
                });
        });
    connect(m_list, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        // Shift and Ctrl extend the selection (MainWindowEditing.cpp).
        if (QGuiApplication::keyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier))
            return;
        handle([this, row = index.row()] {
            m_editor.selectRow(row);
            m_editor.lstObjects_Click();
        });
    });

    m_top = new MapView(MapView::Which::Top, m_editor, m_central);
    m_top->setObjectName(QStringLiteral("Picture1"));
    connect(m_top, &MapView::mouseMoved, this, [this](int buttons, int shift, double x, double y) {
        showPointer(x, y);
        handle([=, this] { m_editor.Picture1_MouseMove(buttons, shift, x, y); });
    });
    connect(m_top, &MapView::mouseReleased, this, [this](int buttons, int shift, double x, double y) {
        handle([=, this] { m_editor.Picture1_MouseUp(buttons, shift, x, y); });
    });
    connect(m_top, &MapView::wheelTurned, this,
        [this](int steps, double x, double y) { handle([=, this] { m_editor.Picture1_MouseWheel(steps, x, y); }); });
    connect(m_top, &MapView::panned, this,
        [this](double dx, double dy) { handle([=, this] { m_editor.panTopView(dx, dy); }); });
    connect(m_top, &MapView::clicked, this, [this](int labelRow) {
        handle([=, this] {
            if (labelRow >= 0)
                m_editor.lblObjects_Click(labelRow);
            else
                m_editor.Picture1_Click();
        });
    });

    m_front = new MapView(MapView::Which::Front, m_editor, m_central);
    m_front->setObjectName(QStringLiteral("picLeft"));
    connect(m_front, &MapView::mouseMoved, this, [this](int buttons, int shift, double x, double y) {
        handle([=, this] { m_editor.picLeft_MouseMove(buttons, shift, x, y); });
    });
    connect(m_front, &MapView::clicked, this, [this](int) { handle([this] { m_editor.picLeft_Click(); }); });

    m_frontCaption = label("Label2", QStringLiteral("Map Front View:"));
    m_lblX = label("lblX", QString());
    m_lblY = label("lblY", QString());
    m_lblLeftX = label("lblLeftX", QString());
    m_lblLeftY = label("lblLeftY", QString());
    m_mode = label("Label7", QString());

    m_zoomIn = new QPushButton(QStringLiteral("Zoom In"), m_central);
    m_zoomIn->setObjectName(QStringLiteral("cmdZoomIn"));
    connect(m_zoomIn, &QPushButton::clicked, this, [this] { handle([this] { m_editor.cmdZoomIn_Click(); }); });
    m_zoomOut = new QPushButton(QStringLiteral("Zoom Out"), m_central);
    m_zoomOut->setObjectName(QStringLiteral("cmdZoomOut"));
    connect(m_zoomOut, &QPushButton::clicked, this, [this] { handle([this] { m_editor.cmdZoomOut_Click(); }); });
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
        button->setObjectName(QStringLiteral("Option%1").arg(i + 1));
        // Two columns: Player Start to Megalith, then Nebulae to Ships.
        const bool second = i >= 5;
        at(button, second ? 1560 : 120, 480 + 270.0 * double(second ? i - 5 : i), second ? 1155 : 1425, 255);
        kinds->addButton(button);
        connect(
            button, &QRadioButton::clicked, this, [this, i] { handle([this, i] { (m_editor.*kindHandlers[i])(); }); });
        m_kinds[i] = button;
    }

    m_models = new QComboBox(m_frame);
    m_models->setObjectName(QStringLiteral("Combo1"));
    m_models->setEditable(false);
    at(m_models, 120, 1890, 2535, 315);
    connect(m_models, &QComboBox::activated, this,
        [this](int index) { handle([this, index] { m_editor.Combo1_Click(index); }); });

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
    connect(m_colour, &QPushButton::clicked, this, [this] { handle([this] { m_editor.cmdColourSelect_Click(); }); });
    m_apply = new QPushButton(QStringLiteral("Apply"), m_frame);
    m_apply->setObjectName(QStringLiteral("cmdApply"));
    at(m_apply, 1440, 3780, 1215, 375);
    connect(m_apply, &QPushButton::clicked, this, [this] { handle([this] { m_editor.cmdApply_Click(); }); });

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
    const double dx = logicalDpiX();
    const double dy = logicalDpiY();
    // The panel, which keeps to the right edge, clear of the zoom buttons, which keep to the left.
    const int width = twipsToPixels(zoomOutRightTwips + panelGapTwips + 2950 - nonClientWidthTwips, dx);
    // Every control of the panel inside the client area, and the status bar below it.
    const int client = twipsToPixels(60 + panelContentBottomTwips, dy);
    return {width, client + menuBar()->sizeHint().height() + statusBar()->sizeHint().height()};
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

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_central && event->type() == QEvent::Resize) {
        if (m_timer) // built
            layoutWindow();
    } else if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) && m_list
        && watched == m_list->viewport() && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        return true; // the pop-up acts on the row already selected, so a right-click selects none
    } else if (event->type() == QEvent::MouseButtonRelease && m_list && watched == m_list->viewport()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        // The right button alone, over a list with rows.
        if (mouse->button() == Qt::RightButton && mouse->buttons() == Qt::NoButton && !m_editor.rows().empty())
            m_objectsMenu->popup(mouse->globalPosition().toPoint());
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Unsaved work is offered for saving (unless "Exit" has just asked); then closing the main
    // window ends the program, whatever else is open.
    bool mayEnd = m_exitConfirmed;
    m_exitConfirmed = false;
    if (!mayEnd)
        handle([this, &mayEnd] { mayEnd = m_editor.Form_QueryUnload(); });
    if (!mayEnd) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void MainWindow::exitProgram()
{
    bool mayEnd = false;
    handle([this, &mayEnd] { mayEnd = m_editor.mnuFileExit_Click(); });
    if (!mayEnd)
        return;
    m_exitConfirmed = true;
    close();
    m_exitConfirmed = false;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!levelFilesOf(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QStringList files = levelFilesOf(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    openFiles(files);
}

bool MainWindow::loadFile(const QString& path)
{
    bool read = false;
    handle([this, &read, &path] { read = m_editor.loadFile(path); });
    return read;
}

void MainWindow::openFiles(const QStringList& files)
{
    // The first replaces the level; the others are added to it, in order.
    handle([this, &files] {
        if (files.isEmpty() || !m_editor.openFile(files.first()))
            return;
        for (qsizetype i = 1; i < files.size(); ++i)
            m_editor.appendFile(files[i]);
    });
}

void MainWindow::useRecoveryFolder(const QString& folder)
{
    m_editor.setRecoveryFolder(folder);
    handle([this] { m_editor.offerRecovery(); });
    m_recoveryTimer->start();
}

void MainWindow::showPointer(double x, double y)
{
    // Rounded down, as the readouts above the view and the placement of an item are.
    m_pointer->setText(QStringLiteral("X %1  Y %2").arg(floorToInt32(x)).arg(floorToInt32(y)));
}

void MainWindow::showGridSpacing()
{
    // Lines closer than a few pixels are thinned out; the spacing left is told, not left to be guessed.
    const MapScene scene = m_top->scene();
    const GridSpacing drawn = drawnGridSpacing(scene, m_top->size());
    const double grid = double(toInt32Clamped(val(scene.gridSizeText)));
    QString text; // nothing while every line shows
    if (drawn.x == drawn.y && drawn.x != grid && drawn.x != 0)
        text = QStringLiteral("Grid shown every %1 units (grid size %2)").arg(doubleText(drawn.x), doubleText(grid));
    else if (drawn.x != drawn.y)
        text = QStringLiteral("Grid shown every %1 x %2 units (grid size %3)")
                   .arg(doubleText(drawn.x), doubleText(drawn.y), doubleText(grid));
    m_gridSpacing->setText(text);
}

void MainWindow::rebuildRecentMenu()
{
    const QStringList& recent = m_editor.recentLevels();
    if (recent == m_shownRecent)
        return;
    m_shownRecent = recent;
    m_recentMenu->clear();
    for (int i = 0; i < recent.size(); ++i) {
        QString fileName = QFileInfo(recent.at(i)).fileName();
        fileName.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* entry = m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(fileName));
        entry->setObjectName(QStringLiteral("mnuFileRecent_%1").arg(i));
        entry->setToolTip(recent.at(i));
        entry->setStatusTip(recent.at(i));
        connect(entry, &QAction::triggered, this, [this, i] { handle([this, i] { m_editor.openRecent(i); }); });
    }
    m_recentMenu->setEnabled(!recent.isEmpty());
}

void MainWindow::showOptions()
{
    m_options->refresh();
    m_options->show();
    m_options->raise();
    m_options->activateWindow();
}

void MainWindow::showAbout()
{
    if (!m_splash)
        m_splash = new SplashWindow(this);
    m_splash->show();
    m_splash->raise();
    m_splash->activateWindow();
}

void MainWindow::refresh()
{
    if (m_refreshing)
        return;
    m_refreshing = true;
    const Editor& e = m_editor;
    // "[*]" places the platform's mark for unsaved changes; the file in use comes first.
    const QString title = e.currentFile().isEmpty()
        ? e.caption() + QStringLiteral("[*]")
        : QFileInfo(e.currentFile()).fileName() + QStringLiteral("[*] - ") + e.caption();
    if (windowTitle() != title)
        setWindowTitle(title);
    setWindowModified(e.isModified());

    // --- panel
    const Panel& panel = e.panel();
    const auto kind = panel.kind;
    auto* group = m_kinds[0]->group();
    group->setExclusive(false);
    for (std::size_t i = 0; i < m_kinds.size(); ++i)
        m_kinds[i]->setChecked(kind && *kind == allKinds[i]);
    group->setExclusive(true);

    QStringList entries;
    entries.reserve(m_models->count());
    for (int i = 0; i < m_models->count(); ++i)
        entries << m_models->itemText(i);
    if (entries != panel.models) {
        m_models->clear();
        m_models->addItems(panel.models);
    }
    if (m_models->currentIndex() != panel.modelIndex)
        m_models->setCurrentIndex(panel.modelIndex);

    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const PanelField& f = panel.fields[i];
        m_fieldCaptions[i]->setText(f.caption);
        setShown(m_fieldCaptions[i], f.captionVisible);
        setTextIfChanged(m_fields[i], f.text);
        setShown(m_fields[i], f.textVisible);
    }
    setShown(m_colour, panel.colourVisible);
    setShown(m_apply, panel.applyVisible);
    setShown(m_customCaption, panel.customVisible);
    setShown(m_customName, panel.customVisible);
    setTextIfChanged(m_customName, panel.customName);
    for (QWidget* w : {static_cast<QWidget*>(m_setHeight), static_cast<QWidget*>(m_setHeightText),
             static_cast<QWidget*>(m_randomHeight), static_cast<QWidget*>(m_randomHeightText)})
        setShown(w, panel.heightControlsVisible);
    m_setHeight->setChecked(panel.setHeightChecked);
    setTextIfChanged(m_setHeightText, panel.setHeightText);
    m_randomHeight->setChecked(panel.randomHeightChecked);
    setTextIfChanged(m_randomHeightText, panel.randomHeightText);
    m_mode->setText(modeCaption(panel.mode));

    // --- views and readouts
    m_lblX->setText(e.lblX());
    m_lblY->setText(e.lblY());
    m_lblLeftX->setText(e.lblLeftX());
    m_lblLeftY->setText(e.lblLeftY());
    const Qt::CursorShape cursor = e.zoomArmed() ? Qt::CrossCursor : Qt::ArrowCursor;
    if (m_top->cursor().shape() != cursor)
        m_top->setCursor(cursor);
    if (e.revision() != m_paintedRevision) {
        m_paintedRevision = e.revision();
        m_top->redraw();
        m_front->redraw();
        showGridSpacing();
    }

    // --- object list
    m_listModel->sync();
    const int selected = e.selectedRow();
    QItemSelectionModel* selection = m_list->selectionModel();
    if (e.selection().size() > 1) {
        showListSelection();
    } else if (selected < 0) {
        if (selection->hasSelection() || selection->currentIndex().isValid())
            selection->clear();
    } else if (selection->currentIndex().row() != selected || !selection->isRowSelected(selected)) {
        const QModelIndex index = m_listModel->index(selected, 0);
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_list->scrollTo(index);
    }

    // --- menus and the options window
    m_hideAll->setChecked(e.hideAllChecked());
    for (int typeId = 1; typeId <= 9; ++typeId)
        m_showKinds[static_cast<std::size_t>(typeId - 1)]->setChecked(e.labelShown(typeId));
    rebuildRecentMenu();

    // --- status bar: the text is built only when a count changed
    bool countsChanged = false;
    for (std::size_t i = 0; i < allKinds.size(); ++i) {
        const int count = e.liveCount(allKinds[i]);
        countsChanged = countsChanged || count != m_shownCounts[i];
        m_shownCounts[i] = count;
    }
    if (countsChanged) {
        QStringList parts;
        for (std::size_t i = 0; i < allKinds.size(); ++i)
            parts << QStringLiteral("%1 %2").arg(name(countNames[i])).arg(m_shownCounts[i]);
        m_counts->setText(parts.join(QStringLiteral(" \u00b7 ")));
    }

    if (m_select)
        refreshEditing();
    m_options->refresh();
    m_refreshing = false;
}

} // namespace starloom
