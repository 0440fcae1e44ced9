// The main window's tool bar of the map's tools, its docks (objects, item panel, undo history)
// with their View menu entries, and the arrangement the user leaves them in, kept between runs.

#include "MainWindow.h"
#include "MainWindowParts.h"
#include "MapView.h"
#include "ObjectListModel.h"
#include "View3DDock.h"
#include "WidgetText.h"

#include "gamedata/SettingsStore.h"

#include <QAction>
#include <QActionGroup>
#include <QDockWidget>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUndoStack>
#include <QUndoView>
#include <QVBoxLayout>

#include <algorithm>

namespace starloom {

using namespace mainwindow;

namespace {

const QString geometryKey = QStringLiteral("WindowGeometry");
const QString stateKey = QStringLiteral("WindowState");
const QString splitKey = QStringLiteral("ViewSplitter");
// The version of the arrangement saveState writes; a stored one of another version is ignored.
constexpr int layoutVersion = 1;

QMenu* viewMenu(QMenuBar* bar)
{
    for (QAction* a : bar->actions())
        if (a->menu() && a->menu()->objectName() == QStringLiteral("mnuView"))
            return a->menu();
    return nullptr;
}

} // namespace

void MainWindow::buildToolBar()
{
    m_toolBar = addToolBar(QStringLiteral("Tools"));
    m_toolBar->setObjectName(QStringLiteral("tbTools"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    struct ToolEntry {
        ToolKind kind;
        const char* objectName;
        const char* caption;
        Qt::Key key;
        const char* tip;
    };
    const ToolEntry entries[] = {
        {ToolKind::Select, "cmdSelect", "Select", Qt::Key_V,
            "Click, drag or draw a box on the map to select; drag a selected item to move the selection"},
        {ToolKind::Place, "cmdPlace", "Place", Qt::Key_P, "Click on the map to place the kind chosen in the panel"},
        {ToolKind::Measure, "cmdMeasure", "Measure", Qt::Key_M, "Drag on the map to measure a distance"},
        {ToolKind::Zoom, "cmdZoomIn", "Zoom In", Qt::Key_Z, "Click on the map to zoom in around the point"},
        {ToolKind::Pan, "cmdPan", "Pan", Qt::Key_H, "Drag the map to move the view (the middle button pans too)"},
    };
    for (const ToolEntry& entry : entries) {
        auto* action = new QAction(name(entry.caption), this);
        action->setCheckable(true);
        action->setShortcut(QKeySequence(entry.key));
        action->setToolTip(
            QStringLiteral("%1 (%2)\n%3")
                .arg(name(entry.caption), QKeySequence(entry.key).toString(QKeySequence::NativeText), name(entry.tip)));
        group->addAction(action);
        auto* button = new QToolButton(m_toolBar);
        button->setObjectName(name(entry.objectName));
        button->setDefaultAction(action);
        m_toolBar->addWidget(button);
        action->setObjectName(QStringLiteral("act") + name(entry.objectName).mid(3));
        const ToolKind kind = entry.kind;
        connect(action, &QAction::triggered, this, [this, kind] {
            handle([this, kind] {
                if (kind == ToolKind::Select)
                    m_editor.chooseSelectTool();
                else if (kind == ToolKind::Place)
                    m_editor.chooseKind(m_editor.panel().kind.value_or(ItemKind::PlayerStart));
                else
                    m_editor.chooseTool(kind);
            });
        });
        m_toolActions[static_cast<std::size_t>(kind)] = action;
        if (kind == ToolKind::Select)
            m_select = button;
        if (kind == ToolKind::Zoom)
            m_zoomIn = button;
    }
    // Space held over the map: the Pan tool until it is released.
    QAction* pan = m_toolActions[static_cast<std::size_t>(ToolKind::Pan)];
    pan->setToolTip(QStringLiteral("Pan (%1, or hold Space)\nDrag the map to move the view; with any tool, hold Space "
                                   "and drag (the middle button pans too)")
                        .arg(pan->shortcut().toString(QKeySequence::NativeText)));
    connect(m_top, &MapView::panHeld, this, [this](bool held) { handle([this, held] { m_editor.holdPan(held); }); });
    m_toolBar->addSeparator();
    auto* zoomOut = new QAction(QStringLiteral("Zoom Out"), this);
    zoomOut->setObjectName(QStringLiteral("actZoomOut"));
    zoomOut->setToolTip(QStringLiteral("Show the whole world"));
    connect(zoomOut, &QAction::triggered, this, [this] { handle([this] { m_editor.zoomOutFully(); }); });
    m_zoomOut = new QToolButton(m_toolBar);
    m_zoomOut->setObjectName(QStringLiteral("cmdZoomOut"));
    m_zoomOut->setDefaultAction(zoomOut);
    m_toolBar->addWidget(m_zoomOut);
}

void MainWindow::refreshTools()
{

    m_stretch->setChecked(m_editor.stretchToFill());
    const ToolKind active = m_editor.activeTool();
    for (std::size_t i = 0; i < m_toolActions.size(); ++i)
        if (m_toolActions[i])
            m_toolActions[i]->setChecked(static_cast<std::size_t>(active) == i);
}

void MainWindow::markField(QLineEdit* field, const QString& reason)
{
    if (field->property("plainTip").isNull())
        field->setProperty("plainTip", field->toolTip());
    field->setProperty("refusal", reason);
    field->setStyleSheet(reason.isEmpty() ? QString() : QStringLiteral("QLineEdit { border: 2px solid #d03030; }"));
    field->setToolTip(reason.isEmpty() ? field->property("plainTip").toString() : reason);
    if (!reason.isEmpty()) {
        m_positionMarkedAt = m_editor.revision();
        showNote(reason);
    }
}

void MainWindow::showPosition()
{
    const Editor& e = m_editor;
    // Every change of the selection or of its items redraws: between two, the numbers stand (a
    // selection of every item of a big level is not walked again at each move of the pointer).
    if (e.revision() == m_positionShownAt)
        return;
    m_positionShownAt = e.revision();
    const bool any = !e.selection().empty();
    const bool keepMarks = e.revision() == m_positionMarkedAt;
    for (std::size_t i = 0; i < m_position.size(); ++i) {
        QLineEdit* field = m_position[i];
        setShown(m_positionCaptions[i], any);
        setShown(field, any);
        // A refused text stays, marked, until the selection or its items change.
        if (keepMarks && !field->property("refusal").toString().isEmpty())
            continue;
        if (!field->property("refusal").toString().isEmpty()) {
            markField(field, QString());
            field->setToolTip(
                QStringLiteral("%1 of the selected items, in world units").arg(m_positionCaptions[i]->text()));
        }
        if (any && !(field->hasFocus() && field->isModified()))
            setTextIfChanged(field, e.selectionCoordinate(static_cast<Editor::Axis>(i)));
    }
}

void MainWindow::filterObjects()
{
    m_filteredText = m_objectFilter->text().trimmed();
    m_filteredSerial = m_editor.rowChanges().serial();
    m_listModel->setFilter(m_filteredText);
}

void MainWindow::buildObjectList()
{
    m_list = new ObjectListView(this);
    m_list->setObjectName(QStringLiteral("lstObjects"));
    m_listModel = new ObjectListModel(
        m_editor, [this](const std::function<void()>& change) { handle(change); }, m_list);
    m_list->setModel(m_listModel);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = m_list->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    header->setSectionResizeMode(ObjectListModel::NameColumn, QHeaderView::Stretch);
    header->resizeSection(ObjectListModel::TypeColumn, 0);
    header->resizeSection(ObjectListModel::IndexColumn, 0);
    // The box columns as wide as their captions or a check box: measured once, not over every
    // row at each change of a list of thousands.
    const QStyle* style = m_list->style();
    const int boxWidth =
        style->pixelMetric(QStyle::PM_IndicatorWidth) + 4 * style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4;
    for (const int column : {ObjectListModel::ShownColumn, ObjectListModel::LockedColumn}) {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, std::max(header->sectionSizeHint(column), boxWidth));
    }
    // Every group open, and each group that appears. The groups are opened one by one: expandAll
    // would also mark every item row open, a persistent index each (tens of bytes an item).
    const auto expandGroups = [this] {
        for (int group = 0; group < m_listModel->rowCount(); ++group)
            m_list->expand(m_listModel->index(group, 0));
    };
    expandGroups();
    connect(m_listModel, &QAbstractItemModel::modelReset, m_list, expandGroups);
    connect(
        m_listModel, &QAbstractItemModel::rowsInserted, m_list, [this](const QModelIndex& parent, int first, int last) {
            if (!parent.isValid())
                for (int group = first; group <= last; ++group)
                    m_list->expand(m_listModel->index(group, 0));
        });
    m_list->viewport()->installEventFilter(this);
    connect(
        m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
            // A current row that is not selected (the list taking the focus) is no choice of the user's.
            const int row = m_listModel->rowOf(current);
            if (row >= 0 && m_list->selectionModel()->isRowSelected(current.row(), current.parent()))
                handle([this, row] {
                    m_editor.selectRow(row);
                    m_editor.editSelectedRow();
                });
        });
    connect(m_list, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        // Shift and Ctrl extend the selection (MainWindowEditing.cpp); the boxes select nothing.
        const int row = m_listModel->rowOf(index);
        if (row < 0 || index.column() >= ObjectListModel::ShownColumn
            || (QGuiApplication::keyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
            return;
        handle([this, row] {
            m_editor.selectRow(row);
            m_editor.editSelectedRow();
        });
    });
    // A double-click on an item frames it.
    connect(m_list, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        const int row = m_listModel->rowOf(index);
        if (row < 0 || index.column() >= ObjectListModel::ShownColumn)
            return;
        handle([this, row] {
            m_editor.selectRow(row);
            m_editor.editSelectedRow();
            m_editor.zoomToSelection();
        });
    });
}

void MainWindow::buildDocks()
{
    auto dock = [this](const char* objectName, const char* title, QWidget* content, Qt::DockWidgetArea area) {
        auto* d = new QDockWidget(name(title), this);
        d->setObjectName(name(objectName));
        d->setWidget(content);
        addDockWidget(area, d);
        return d;
    };
    // The object list under a filter box: the tree keeps the rows whose text, model or kind holds
    // the filter's text, and the groups that hold any.
    auto* objects = new QWidget(this);
    auto* objectsLayout = new QVBoxLayout(objects);
    objectsLayout->setContentsMargins(0, 0, 0, 0);
    objectsLayout->setSpacing(2);
    m_objectFilter = new QLineEdit(objects);
    m_objectFilter->setObjectName(QStringLiteral("txtObjectFilter"));
    m_objectFilter->setPlaceholderText(QStringLiteral("Filter by name, model or kind"));
    m_objectFilter->setClearButtonEnabled(true);
    objectsLayout->addWidget(m_objectFilter);
    objectsLayout->addWidget(m_list, 1);
    connect(m_objectFilter, &QLineEdit::textChanged, this, [this] { filterObjects(); });
    m_objectsDock = dock("dockObjects", "Objects on Map", objects, Qt::LeftDockWidgetArea);
    // The panel scrolls rather than cut off its fields when the dock is short.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("scrPanel"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(m_frame);
    m_panelScroll = scroll;
    // As wide as the panel's widest row (long captions wrap); taller, it scrolls.
    scroll->setMinimumWidth(m_frame->minimumSizeHint().width() + scroll->verticalScrollBar()->sizeHint().width());
    m_propertiesDock = dock("dockProperties", "Properties", scroll, Qt::RightDockWidgetArea);
    // The 3-D view shares the panel's column, a tab beside it.
    if (m_dock3D)
        tabifyDockWidget(m_propertiesDock, static_cast<QDockWidget*>(m_dock3D));
    // The docks at the bottom stand below the views only: the list and the panel keep the
    // window's full height.
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);

    // The undo history: a click on a step goes back or forward to it.
    auto* history = new QUndoView(&m_editor.undoStack(), this);
    history->setObjectName(QStringLiteral("lstHistory"));
    history->setEmptyLabel(QStringLiteral("<level as opened>"));
    m_historyDock = dock("dockHistory", "History", history, Qt::BottomDockWidgetArea);
    m_historyDock->hide();
    connect(&m_editor.undoStack(), &QUndoStack::indexChanged, this, [this] {
        if (m_handlerDepth == 0)
            refresh();
    });

    QMenu* view = viewMenu(menuBar());
    if (!view) {
        view = menuBar()->addMenu(QStringLiteral("&View"));
        view->setObjectName(QStringLiteral("mnuView"));
    }
    // The top view's zoom and scale.
    view->addSeparator();
    auto viewEntry = [this, view](const char* objectName, const char* caption, const QKeySequence& key) {
        QAction* a = view->addAction(name(caption));
        a->setObjectName(name(objectName));
        a->setShortcut(key);
        return a;
    };
    connect(viewEntry("mnuViewZoomFit", "Zoom to &Fit", QKeySequence(Qt::CTRL | Qt::Key_0)), &QAction::triggered, this,
        [this] { handle([this] { m_editor.zoomToFit(); }); });
    connect(viewEntry("mnuViewZoomSelection", "&Zoom to Selection", QKeySequence(Qt::SHIFT | Qt::Key_F)),
        &QAction::triggered, this, [this] { handle([this] { m_editor.zoomToSelection(); }); });
    m_stretch = viewEntry("mnuViewStretch", "Stretch to F&ill", QKeySequence());
    m_stretch->setCheckable(true);
    m_stretch->setToolTip(QStringLiteral("Stretch the top view's axes to fill it (the map is then not to scale)"));
    connect(m_stretch, &QAction::triggered, this,
        [this](bool on) { handle([this, on] { m_editor.setStretchToFill(on); }); });
    // The front view follows the top view's shape as soon as it changes.
    connect(m_top, &MapView::resized, this,
        [this](QSize pixels) { handle([this, pixels] { m_editor.setTopViewSize(pixels); }); });
    view->addSeparator();
    QMenu* panels = view->addMenu(QStringLiteral("&Panels"));
    panels->setObjectName(QStringLiteral("mnuViewPanels"));
    const std::pair<QDockWidget*, const char*> toggles[] = {
        {m_objectsDock, "&Objects"}, {m_propertiesDock, "P&roperties"}, {m_historyDock, "&History"}};
    for (const auto& [d, caption] : toggles) {
        QAction* toggle = d->toggleViewAction();
        toggle->setObjectName(QStringLiteral("mnuView") + d->objectName().mid(4));
        toggle->setText(name(caption));
        panels->addAction(toggle);
    }
    QAction* toolBar = m_toolBar->toggleViewAction();
    toolBar->setObjectName(QStringLiteral("mnuViewToolBar"));
    toolBar->setText(QStringLiteral("&Tool Bar"));
    panels->addAction(toolBar);
    QAction* reset = view->addAction(QStringLiteral("&Reset Layout"));
    reset->setObjectName(QStringLiteral("mnuViewResetLayout"));
    connect(reset, &QAction::triggered, this, &MainWindow::resetLayout);
}

void MainWindow::saveLayout()
{
    m_settings.write(geometryKey, QString::fromLatin1(saveGeometry().toBase64()));
    m_settings.write(stateKey, QString::fromLatin1(saveState(layoutVersion).toBase64()));
    m_settings.write(splitKey, QString::fromLatin1(m_viewSplit->saveState().toBase64()));
}

void MainWindow::restoreLayout()
{
    auto stored = [this](const QString& key) {
        return QByteArray::fromBase64(m_settings.read(key, QString()).toLatin1());
    };
    if (const QByteArray geometry = stored(geometryKey); !geometry.isEmpty())
        restoreGeometry(geometry);
    if (const QByteArray state = stored(stateKey); !state.isEmpty())
        restoreState(state, layoutVersion);
    if (const QByteArray split = stored(splitKey); !split.isEmpty())
        m_viewSplit->restoreState(split);
}

void MainWindow::resetLayout()
{
    restoreState(m_defaultLayout);
    m_viewSplit->setSizes({3 * m_viewSplit->height() / 4, m_viewSplit->height() / 4});
}

} // namespace starloom
