#include "MainWindow.h"
#include "MainWindowParts.h"

#include "AppInfo.h"
#include "FittingText.h"
#include "MapView.h"
#include "MapView3D.h"
#include "ObjectListModel.h"
#include "OpenFromGameDialog.h"
#include "OptionsWindow.h"
#include "PreferencesDialog.h"
#include "SplashWindow.h"
#include "View3DDock.h"
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
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace starloom {

using namespace mainwindow;

namespace {

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

// The pointer over the top view shows the active tool.
Qt::CursorShape toolCursor(ToolKind tool)
{
    switch (tool) {
    case ToolKind::Select:
        break;
    case ToolKind::Place:
    case ToolKind::Measure:
    case ToolKind::Zoom:
        return Qt::CrossCursor;
    case ToolKind::Pan:
        return Qt::OpenHandCursor;
    }
    return Qt::ArrowCursor;
}

} // namespace

MainWindow::MainWindow(SettingsStore& settings, const QString& gameDir, EditorHost* host, QWidget* parent)
    : MainWindow(settings, gameCatalogue(gameDir), host, parent)
{
}

MainWindow::MainWindow(SettingsStore& settings, Catalogue catalogue, EditorHost* host, QWidget* parent)
    : QMainWindow(parent),
      m_dialogs(this),
      m_editor(
          host ? *host : static_cast<EditorHost&>(m_dialogs), settings, defaultRandomSource(), std::move(catalogue)),
      m_settings(settings)
{
    setObjectName(QStringLiteral("frmMain"));
    m_dialogs.setBeforeMessage([this] { refresh(); });
    // A note takes the place of the counts for a few seconds, shortened as they are to the room.
    m_dialogs.setStatusShower([this](const QString& text) { showNote(text); });
    m_central = new QWidget(this);
    m_central->setObjectName(QStringLiteral("frmMainClient"));
    setCentralWidget(m_central);
    setDockNestingEnabled(true);

    buildMenus();
    buildViews();
    buildPanel();
    buildToolBar();
    build3DView();
    buildDocks();
    buildEditingUi();
    buildStartHint();

    QStatusBar* status = statusBar();
    status->setObjectName(QStringLiteral("statusBar"));
    status->setSizeGripEnabled(false);
    // Each field of the status bar shortens its text rather than lose letters when the window is
    // narrow (FittingText).
    m_counts = new FittingLabel(status);
    m_counts->setObjectName(QStringLiteral("lblCounts"));
    // The counts take the room the other fields leave them (they shorten first).
    m_counts->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status->addWidget(m_counts, 1);
    m_gameStatus = new FittingLabel(status);
    m_gameStatus->setObjectName(QStringLiteral("lblGameStatus"));
    status->addPermanentWidget(m_gameStatus);
    m_pointer = new QLabel(status);
    m_pointer->setObjectName(QStringLiteral("lblPointer"));
    status->addPermanentWidget(m_pointer);
    m_mode->setParent(status);
    status->addPermanentWidget(m_mode);
    m_gridSpacing = new FittingLabel(status);
    m_gridSpacing->setObjectName(QStringLiteral("lblGridSpacing"));
    status->addPermanentWidget(m_gridSpacing);
    m_shownCounts.fill(-1);
    m_noteTimer = new QTimer(this);
    m_noteTimer->setSingleShot(true);
    m_noteTimer->setInterval(5000);
    connect(m_noteTimer, &QTimer::timeout, this, [this] { showNote(QString()); });
    setAcceptDrops(true);

    m_options = new OptionsWindow(m_editor, this);
    m_options->hide();
    connect(m_options, &OptionsWindow::handlerRan, this, [this] { refresh(); });
    m_preferences = new PreferencesDialog(m_editor, this);
    m_preferences->hide();
    connect(m_preferences, &PreferencesDialog::handlerRan, this, [this] { refresh(); });

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, [this] {
        // A message box opened by a handler runs its own event loop; the drag waits for it.
        if (m_handlerDepth == 0)
            handle([this] { m_editor.repeatWhileHeld(); });
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

    QSize size(1280, 860);
    if (const QScreen* screen = this->screen())
        size = size.boundedTo(screen->availableSize() * 0.95);
    resize(size);
    m_defaultLayout = saveState();
    restoreLayout();
    refresh();
}

void MainWindow::showGameStatus(const QString& text)
{
    // A folder's path can be long: shortened in its middle as the room asks.
    const QFontMetrics metrics = m_gameStatus->fontMetrics();
    QStringList forms = {text};
    for (const int room : {360, 240, 120})
        if (const QString shorter = metrics.elidedText(text, Qt::ElideMiddle, room); shorter != forms.last())
            forms << shorter;
    m_gameStatus->setForms(forms);
}

MainWindow::~MainWindow()
{
    saveLayout();
    // The undo stack, cleared as the editor goes, may not call back into a window that is going.
    disconnect(&m_editor.undoStack(), nullptr, this, nullptr);
    // The widgets read the editor, which is destroyed before the QWidget base deletes children.
    m_timer->stop();
    // Nor may a dock hidden as the window closes fit the window that is going.
    disconnect(m_checksDock, nullptr, this, nullptr);
    // Nothing is painted while the window is taken apart: the widgets read the editor.
    setUpdatesEnabled(false);
    // No event of a widget being destroyed may reach the filter below.
    m_top->removeEventFilter(this);
    if (m_list) {
        m_list->viewport()->removeEventFilter(this);
        m_list->setModel(nullptr);
    }
    m_list = nullptr;
    delete m_options;
    delete m_preferences;
    delete m_splash;
    delete m_dock3D;
    m_dock3D = nullptr;
    delete takeCentralWidget();
    m_central = nullptr;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_top && event->type() == QEvent::Resize && m_hint)
        refreshStartHint();
    if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) && m_list
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
    if (m_dialogs.running()) {
        quitWhileRunning();
        event->accept();
        return;
    }
    // Unsaved work is offered for saving (unless "Exit" has just asked); then closing the main
    // window ends the program, whatever else is open.
    bool mayEnd = m_exitConfirmed;
    m_exitConfirmed = false;
    if (!mayEnd)
        handle([this, &mayEnd] { mayEnd = m_editor.prepareToExit(); });
    if (!mayEnd) {
        event->ignore();
        return;
    }
    event->accept();
    saveLayout();
    QCoreApplication::quit();
}

void MainWindow::quitWhileRunning()
{
    // The script is stopped and the program ends as soon as it has; unsaved changes of the level
    // (which the script has not touched) stay in the recovery copy, which the next start offers.
    // (Quitting closes every window, this one too, which comes back here.)
    if (m_quitting)
        return;
    m_quitting = true;
    m_dialogs.stopRunning();
    m_editor.writeRecoveryCopy();
    QCoreApplication::quit();
}

void MainWindow::exitProgram()
{
    if (m_dialogs.running()) {
        quitWhileRunning();
        return;
    }
    bool mayEnd = false;
    handle([this, &mayEnd] { mayEnd = m_editor.prepareToExit(); });
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

void MainWindow::showNote(const QString& text)
{
    m_note = text;
    // The whole note, its reasons on their lines, stays readable in the tooltip.
    m_counts->setToolTip(text.contains(QLatin1Char('\n')) ? text : QString());
    if (text.isEmpty()) {
        m_counts->setForms(m_countForms);
        return;
    }
    // On one line, shortened in its middle, where a long file name usually is, as far as the room asks.
    const QString line = QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QFontMetrics metrics = m_counts->fontMetrics();
    QStringList forms = {line};
    for (const int room : {640, 480, 360, 240, 160})
        if (const QString shorter = metrics.elidedText(line, Qt::ElideMiddle, room); shorter != forms.last())
            forms << shorter;
    m_counts->setForms(forms);
    // A longer note stays longer.
    m_noteTimer->start(line.size() > 80 ? 15000 : 5000);
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
    QStringList forms; // none while every line shows
    if (drawn.x == drawn.y && drawn.x != grid && drawn.x != 0)
        forms << QStringLiteral("Grid shown every %1 units (grid size %2)").arg(doubleText(drawn.x), doubleText(grid))
              << QStringLiteral("Grid every %1 units").arg(doubleText(drawn.x))
              << QStringLiteral("Grid %1").arg(doubleText(drawn.x));
    else if (drawn.x != drawn.y)
        forms << QStringLiteral("Grid shown every %1 x %2 units (grid size %3)")
                     .arg(doubleText(drawn.x), doubleText(drawn.y), doubleText(grid))
              << QStringLiteral("Grid every %1 x %2 units").arg(doubleText(drawn.x), doubleText(drawn.y))
              << QStringLiteral("Grid %1 x %2").arg(doubleText(drawn.x), doubleText(drawn.y));
    m_gridSpacing->setForms(forms);
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

void MainWindow::openFromGame()
{
    const GameMapList maps = m_editor.gameMaps();
    OpenFromGameDialog dialog(maps, this);
    if (dialog.exec() == QDialog::Accepted && !dialog.chosenPath().isEmpty())
        m_editor.openGameMap(dialog.chosenPath());
}

void MainWindow::showOptions()
{
    m_options->showForLevel();
}

void MainWindow::showPreferences()
{
    m_preferences->showPreferences();
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
    const auto kind = e.checkedKind();
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
    m_mode->setText(e.modeText());
    m_frame->setTitle(e.selection().size() > 1 ? QStringLiteral("Edit %1 Items").arg(e.selection().size())
            : e.mode() == EditorMode::Editing  ? QStringLiteral("Edit Item")
                                               : QStringLiteral("Add Item"));
    showFields();
    refreshTools();
    showPosition();
    refreshStartHint();

    // --- views and readouts
    m_lblX->setText(e.lblX());
    m_lblY->setText(e.lblY());
    m_lblLeftX->setText(e.lblLeftX());
    m_lblLeftY->setText(e.lblLeftY());
    const Qt::CursorShape cursor = toolCursor(e.activeTool());
    if (m_top->cursor().shape() != cursor)
        m_top->setCursor(cursor);
    if (e.revision() != m_paintedRevision) {
        m_paintedRevision = e.revision();
        m_top->redraw();
        m_front->redraw();
        showGridSpacing();
    }
    m_dock3D->view()->sync();

    // --- object list
    QItemSelectionModel* selection = m_list->selectionModel();
    // The current row goes before rows are taken out: left to the list, it would move to a row
    // that stays and lay out the whole list for it while the rows are still there.
    if (selection->currentIndex().isValid() && m_listModel->removesRows())
        selection->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    m_listModel->sync();
    const int selected = e.selectedRow();
    if (e.selection().size() <= 1)
        m_listedSelection.clear(); // shown as the current row
    const QModelIndex selectedIndex = m_listModel->indexOfRow(selected);
    if (e.selection().size() > 1) {
        showListSelection();
    } else if (!selectedIndex.isValid()) { // none, or a row the filter leaves out
        if (selection->hasSelection() || selection->currentIndex().isValid())
            selection->clear();
    } else if (selection->currentIndex() != selectedIndex
        || !selection->isRowSelected(selectedIndex.row(), selectedIndex.parent())) {
        selection->setCurrentIndex(selectedIndex, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_list->scrollTo(selectedIndex);
    }

    // --- menus and the options window
    m_hideAll->setChecked(e.hideAllChecked());
    for (std::size_t i = 0; i < allKinds.size(); ++i)
        m_showKinds[i]->setChecked(e.labelShown(typeIdOf(allKinds[i])));
    rebuildRecentMenu();

    // --- status bar: the text is built only when a count changed
    bool countsChanged = false;
    for (std::size_t i = 0; i < allKinds.size(); ++i) {
        const int count = e.liveCount(allKinds[i]);
        countsChanged = countsChanged || count != m_shownCounts[i];
        m_shownCounts[i] = count;
    }
    if (countsChanged) {
        // Every kind; the kinds there are; the sum.
        QStringList all, present;
        int total = 0;
        for (std::size_t i = 0; i < allKinds.size(); ++i) {
            const QString part = QStringLiteral("%1 %2").arg(name(kindTable[i].countCaption)).arg(m_shownCounts[i]);
            all << part;
            if (m_shownCounts[i] > 0)
                present << part;
            total += m_shownCounts[i];
        }
        m_countForms = {all.join(QStringLiteral(" \u00b7 "))};
        if (present.size() < all.size())
            m_countForms << (present.isEmpty() ? QStringLiteral("No items") : present.join(QStringLiteral(" \u00b7 ")));
        if (present.size() > 1)
            m_countForms << QStringLiteral("%1 %2").arg(total).arg(QLatin1String(total == 1 ? "item" : "items"));
        if (m_note.isEmpty())
            m_counts->setForms(m_countForms);
    }

    if (m_select)
        refreshEditing();
    m_options->refresh();
    m_refreshing = false;
}

void MainWindow::build3DView()
{
    // Hidden until the View menu (or F3) shows it; a click on an item is a click on its row.
    m_dock3D = new View3DDock(m_editor, this);
    addDockWidget(Qt::RightDockWidgetArea, m_dock3D);
    m_dock3D->hide();
    menuBar()->insertMenu(findChild<QMenu*>(QStringLiteral("mnuHelp"))->menuAction(), m_dock3D->menu());
    connect(m_dock3D->view(), &MapView3D::rowClicked, this, [this](int row) {
        handle([this, row] {
            m_editor.selectRow(row);
            m_editor.editSelectedRow();
        });
    });
}

} // namespace starloom
