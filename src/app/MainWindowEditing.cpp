// The main window's part of selecting and working on the map: the "Select" button, the Edit menu's
// operations on the selection, the object list's multi-selection, the Checks dock, "&Save" and the
// drawing toggles of the Labels menu.

#include "MainWindow.h"
#include "MainWindowParts.h"

#include "MapView.h"
#include "ObjectListModel.h"

#include "editing/Transforms.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDockWidget>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace starloom {

namespace {

const QString levelMimeType = QStringLiteral("application/x-starloom-level");

QMenu* menuNamed(QMenuBar* bar, const QString& objectName)
{
    for (QAction* a : bar->actions())
        if (a->menu() && a->menu()->objectName() == objectName)
            return a->menu();
    return nullptr;
}

} // namespace

void MainWindow::buildEditingUi()
{
    auto add = [this](QMenu* menu, const char* objectName, const QString& caption, const QKeySequence& key,
                   auto&& handler) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(objectName));
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, [this, handler] { handle([this, handler] { handler(m_editor); }); });
        return a;
    };

    // --- "&Save" writes to the file in use; "&Save Level" always asks.
    if (QMenu* file = menuNamed(menuBar(), QStringLiteral("mnuFile"))) {
        QAction* saveLevel = findChild<QAction*>(QStringLiteral("mnuFileSave"));
        auto* save = new QAction(QStringLiteral("&Save"), file);
        save->setObjectName(QStringLiteral("mnuFileSaveCurrent"));
        save->setShortcut(QKeySequence::Save);
        file->insertAction(saveLevel, save);
        connect(save, &QAction::triggered, this, [this] { handle([this] { m_editor.save(); }); });
        if (saveLevel)
            saveLevel->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    }

    // --- the Edit menu's work on the selection
    QMenu* edit = menuNamed(menuBar(), QStringLiteral("mnuEdit"));
    edit->addSeparator();
    QAction* cut = add(edit, "mnuEditCut", QStringLiteral("Cu&t"), QKeySequence::Cut, [this](Editor& e) {
        const QByteArray text = e.cutSelection();
        if (!text.isEmpty()) {
            auto* mime = new QMimeData;
            mime->setData(levelMimeType, text);
            mime->setText(QString::fromLatin1(text));
            QApplication::clipboard()->setMimeData(mime);
        }
    });
    QAction* copy = add(edit, "mnuEditCopy", QStringLiteral("&Copy"), QKeySequence::Copy, [](Editor& e) {
        const QByteArray text = e.copySelection();
        if (!text.isEmpty()) {
            auto* mime = new QMimeData;
            mime->setData(levelMimeType, text);
            mime->setText(QString::fromLatin1(text));
            QApplication::clipboard()->setMimeData(mime);
        }
    });
    QAction* paste = add(edit, "mnuEditPaste", QStringLiteral("&Paste"), QKeySequence::Paste, [](Editor& e) {
        const QMimeData* mime = QApplication::clipboard()->mimeData();
        if (!mime)
            return;
        e.pasteText(mime->hasFormat(levelMimeType) ? mime->data(levelMimeType) : mime->text().toLatin1());
    });
    add(edit, "mnuEditDuplicate", QStringLiteral("&Duplicate"), QKeySequence(Qt::CTRL | Qt::Key_D),
        [](Editor& e) { e.duplicateSelection(); });
    add(edit, "mnuEditDelete", QStringLiteral("De&lete"), QKeySequence(), [](Editor& e) { e.deleteSelection(); });
    for (QAction* a : {cut, copy, paste})
        a->setShortcutContext(Qt::WindowShortcut);
    edit->addSeparator();
    add(edit, "mnuEditSelectAll", QStringLiteral("Select &All"), QKeySequence::SelectAll,
        [](Editor& e) { e.selectAll(); });
    add(edit, "mnuEditSelectNone", QStringLiteral("Select &None"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
        [](Editor& e) { e.clearSelection(); });
    edit->addSeparator();
    QMenu* mirror = edit->addMenu(QStringLiteral("&Mirror"));
    mirror->setObjectName(QStringLiteral("mnuEditMirror"));
    QMenu* flip = edit->addMenu(QStringLiteral("&Flip"));
    flip->setObjectName(QStringLiteral("mnuEditFlip"));
    struct Axis {
        const char* mirrorName;
        const char* flipName;
        const char* caption;
        MirrorAxis axis;
        QKeySequence mirrorKey;
        QKeySequence flipKey;
    };
    const Axis axes[] = {
        {"mnuEditMirrorX", "mnuEditFlipX", "Across the &X Axis", MirrorAxis::X, QKeySequence(), QKeySequence()},
        {"mnuEditMirrorY", "mnuEditFlipY", "Across the &Y Axis", MirrorAxis::Y, QKeySequence(), QKeySequence()},
        {"mnuEditMirrorCentre", "mnuEditFlipCentre", "Through the World &Centre", MirrorAxis::Centre,
            QKeySequence(Qt::CTRL | Qt::Key_M), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M)},
    };
    for (const Axis& a : axes) {
        const MirrorAxis axis = a.axis;
        add(mirror, a.mirrorName, QString::fromLatin1(a.caption), a.mirrorKey,
            [axis](Editor& e) { e.mirrorSelection(axis); });
        add(flip, a.flipName, QString::fromLatin1(a.caption), a.flipKey, [axis](Editor& e) { e.flipSelection(axis); });
    }
    QMenu* rotate = edit->addMenu(QStringLiteral("&Rotate Copies"));
    rotate->setObjectName(QStringLiteral("mnuEditRotate"));
    QMenu* symmetric = edit->addMenu(QStringLiteral("Make S&ymmetric"));
    symmetric->setObjectName(QStringLiteral("mnuEditSymmetric"));
    for (int n = 2; n <= 8; ++n) {
        const QByteArray rotateName = QStringLiteral("mnuEditRotate%1").arg(n).toLatin1();
        const QByteArray symmetricName = QStringLiteral("mnuEditSymmetric%1").arg(n).toLatin1();
        add(rotate, rotateName.constData(), QStringLiteral("&%1 (every %2°)").arg(n).arg(360.0 / n), QKeySequence(),
            [n](Editor& e) { e.rotateCopies(n); });
        add(symmetric, symmetricName.constData(), QStringLiteral("For &%1 Players").arg(n), QKeySequence(),
            [n](Editor& e) { e.makeSymmetric(n); });
    }
    edit->addSeparator();
    m_snap = add(edit, "mnuEditSnap", QStringLiteral("S&nap to Grid"), QKeySequence(Qt::CTRL | Qt::Key_G),
        [](Editor& e) { e.setSnapToGrid(!e.snapToGrid()); });
    m_snap->setCheckable(true);
    m_measureAction = add(edit, "mnuEditMeasure", QStringLiteral("M&easure"), QKeySequence(Qt::CTRL | Qt::Key_E),
        [](Editor& e) { e.setMeasuring(!e.measuring()); });
    m_measureAction->setCheckable(true);

    // --- keys on the map go to the active tool; the arrow keys nudge the selection
    m_top->setFocusPolicy(Qt::ClickFocus);
    connect(m_top, &MapView::keyPressed, this, [this](Qt::Key key, Qt::KeyboardModifiers modifiers, bool* used) {
        handle([=, this] { *used = m_editor.keyOnMap(key, modifiers); });
    });

    // --- drawing toggles
    if (QMenu* labels = menuNamed(menuBar(), QStringLiteral("mnuLabels"))) {
        labels->addSeparator();
        m_cloudDiscs = add(labels, "mnuLabelsCloudDiscs", QStringLiteral("Draw Clouds as &Discs"), QKeySequence(),
            [](Editor& e) { e.toggleCloudDiscs(); });
        m_cloudDiscs->setCheckable(true);
        m_declutter = add(labels, "mnuLabelsDeclutter", QStringLiteral("&Thin Out Crowded Labels"), QKeySequence(),
            [](Editor& e) { e.toggleDeclutter(); });
        m_declutter->setCheckable(true);
    }

    // --- below "Apply": the count of a selection of several items
    m_selectionCount = new QLabel(m_frame);
    m_selectionCount->setObjectName(QStringLiteral("lblSelectionCount"));
    m_panelLayout->insertWidget(m_panelLayout->indexOf(m_customCaption), m_selectionCount);
    m_selectionCount->hide();

    // --- the map: a press selects or starts a drag
    connect(m_top, &MapView::mousePressed, this,
        [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF world) {
            handle([=, this] {
                m_editor.setTopViewSize(m_top->size());
                m_editor.pressOnTopView(button, modifiers, world);
            });
        });

    // --- the object list: several rows, in step with the map
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_refreshing || m_listSelecting)
            return;
        std::vector<int> rows;
        for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
            if (const int row = m_listModel->rowOf(index); row >= 0)
                rows.push_back(row);
        if (rows.size() > 1 || (rows.empty() && !m_editor.selection().empty()))
            handle([this, rows] { m_editor.setSelection(rows); });
    });

    m_measure = new QLabel(statusBar());
    m_measure->setObjectName(QStringLiteral("lblMeasure"));
    statusBar()->addPermanentWidget(m_measure);

    // --- the Checks dock
    m_checksDock = new QDockWidget(QStringLiteral("Checks"), this);
    m_checksDock->setObjectName(QStringLiteral("dockChecks"));
    auto* checksPanel = new QWidget(m_checksDock);
    auto* checksLayout = new QVBoxLayout(checksPanel);
    checksLayout->setContentsMargins(4, 2, 4, 2);
    // The two numbers the checks judge by, kept between sessions.
    auto* limits = new QHBoxLayout;
    const CheckOptions& options = m_editor.checkOptions();
    m_minStartDistance = new QSpinBox(checksPanel);
    m_minStartDistance->setObjectName(QStringLiteral("spnMinStartDistance"));
    m_minStartDistance->setRange(0, 1000000);
    m_minStartDistance->setSingleStep(500);
    m_minStartDistance->setSuffix(QStringLiteral(" units"));
    m_minStartDistance->setValue(static_cast<int>(std::lround(options.minStartDistance)));
    m_fairShare = new QSpinBox(checksPanel);
    m_fairShare->setObjectName(QStringLiteral("spnFairShare"));
    m_fairShare->setRange(0, 100);
    m_fairShare->setSuffix(QStringLiteral(" %"));
    m_fairShare->setValue(static_cast<int>(std::lround(options.fairShare * 100)));
    limits->addWidget(new QLabel(QStringLiteral("Start points at least"), checksPanel));
    limits->addWidget(m_minStartDistance);
    limits->addWidget(new QLabel(QStringLiteral("apart; resources may differ by"), checksPanel));
    limits->addWidget(m_fairShare);
    limits->addStretch(1);
    checksLayout->addLayout(limits);
    // Findings of one kind are one line that opens to list them.
    m_checks = new QTreeWidget(checksPanel);
    m_checks->setObjectName(QStringLiteral("lstChecks"));
    m_checks->setHeaderHidden(true);
    m_checks->setColumnCount(1);
    m_checks->setUniformRowHeights(true);
    checksLayout->addWidget(m_checks);
    m_checksDock->setWidget(checksPanel);
    addDockWidget(Qt::BottomDockWidgetArea, m_checksDock);
    auto changeLimits = [this] {
        CheckOptions changed = m_editor.checkOptions();
        changed.minStartDistance = m_minStartDistance->value();
        changed.fairShare = m_fairShare->value() / 100.0;
        handle([this, changed] { m_editor.setCheckOptions(changed); });
    };
    connect(m_minStartDistance, &QSpinBox::valueChanged, this, changeLimits);
    connect(m_fairShare, &QSpinBox::valueChanged, this, changeLimits);
    if (m_historyDock)
        tabifyDockWidget(m_checksDock, m_historyDock);
    // Hidden at first, so that the map keeps the window's room; the status bar's count opens it,
    // and so does a load that found problems.
    m_checksDock->hide();
    m_checksButton = new FittingButton(statusBar());
    m_checksButton->setObjectName(QStringLiteral("cmdChecks"));
    m_checksButton->setFlat(true);
    m_checksButton->setStatusTip(QStringLiteral("Show or hide the Checks panel"));
    statusBar()->addPermanentWidget(m_checksButton);
    connect(
        m_checksButton, &QPushButton::clicked, this, [this] { m_checksDock->setVisible(!m_checksDock->isVisible()); });
    connect(m_checks, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const int line = item->data(0, Qt::UserRole).toInt();
        if (line < 0 || line >= static_cast<int>(m_checkRows.size()) || m_checkRows[std::size_t(line)].empty())
            return;
        handle([this, rows = m_checkRows[std::size_t(line)]] { m_editor.setSelection(rows); });
    });
    // With the other panels in the View menu.
    QMenu* view = findChild<QMenu*>(QStringLiteral("mnuViewPanels"));
    // The dock's title counts the findings; the menu names the panel.
    auto* showChecks = new QAction(QStringLiteral("&Checks"), view);
    showChecks->setObjectName(QStringLiteral("mnuViewChecks"));
    showChecks->setCheckable(true);
    connect(showChecks, &QAction::triggered, m_checksDock, &QDockWidget::setVisible);
    connect(m_checksDock, &QDockWidget::visibilityChanged, showChecks,
        [showChecks, dock = m_checksDock] { showChecks->setChecked(dock->isVisible()); });
    view->insertAction(m_toolBar->toggleViewAction(), showChecks);
    // The Help menu stays last.
    if (QMenu* help = menuNamed(menuBar(), QStringLiteral("mnuHelp"))) {
        menuBar()->removeAction(help->menuAction());
        menuBar()->addMenu(help);
    }
}

void MainWindow::refreshEditing()
{
    const Editor& e = m_editor;
    m_snap->setChecked(e.snapToGrid());
    m_measureAction->setChecked(e.measuring());
    m_cloudDiscs->setChecked(e.views().cloudDiscs);
    m_declutter->setChecked(e.views().declutterLabels);
    const std::size_t count = e.selection().size();
    m_selectionCount->setVisible(count > 1);
    if (count > 1)
        m_selectionCount->setText(QStringLiteral("%1 items selected").arg(count));
    m_apply->setEnabled(count <= 1);
    m_measure->setText(e.measureText());
    m_editor.setTopViewSize(m_top->size());
    showChecks();
}

void MainWindow::showListSelection()
{
    const std::vector<int>& rows = m_editor.selection();
    QItemSelectionModel* model = m_list->selectionModel();
    if (rows.size() <= 1)
        return; // the single row is shown as the current row
    // Shown already, and the list's rows have not changed since.
    if (rows == m_listedSelection && m_listedSerial == m_editor.rowChanges().serial())
        return;
    m_listedSelection = rows;
    m_listedSerial = m_editor.rowChanges().serial();
    // One range per run of rows in a group, so that selecting every row of a big level is a range
    // a group, not thousands that the selection model would compare with each other.
    QItemSelection wanted;
    const int lastColumn = ObjectListModel::IndexColumn;
    std::vector<QModelIndex> shown;
    shown.reserve(rows.size());
    for (const int row : rows)
        if (const QModelIndex index = m_listModel->indexOfRow(row); index.isValid())
            shown.push_back(index);
    std::sort(shown.begin(), shown.end(), [](const QModelIndex& a, const QModelIndex& b) {
        return a.internalId() != b.internalId() ? a.internalId() < b.internalId() : a.row() < b.row();
    });
    for (std::size_t i = 0; i < shown.size();) {
        std::size_t end = i + 1;
        while (end < shown.size() && shown[end].internalId() == shown[i].internalId()
            && shown[end].row() == shown[end - 1].row() + 1)
            ++end;
        wanted.append(QItemSelectionRange(shown[i], shown[end - 1].siblingAtColumn(lastColumn)));
        i = end;
    }
    m_listSelecting = true;
    model->select(wanted, QItemSelectionModel::ClearAndSelect);
    m_listSelecting = false;
}

void MainWindow::showChecks()
{
    // The problems of the last load first, then the findings, one line per kind of finding; a
    // line that stands for several opens to list them.
    struct Line {
        QString text;
        std::vector<int> rows;
        std::vector<Line> members;
    };
    std::vector<Line> lines;
    QStringList texts; // every line's text, to see whether anything changed
    for (const ReadProblem& p : m_editor.loadProblems()) {
        lines.push_back({p.line > 0 ? QStringLiteral("load: line %1: %2").arg(p.line).arg(p.reason)
                                    : QStringLiteral("load: %1").arg(p.reason),
            {}, {}});
        texts << lines.back().text;
    }
    const std::vector<Finding>& findings = m_editor.findings();
    for (const FindingGroup& group : groupFindings(findings)) {
        Line line{groupLine(group, findings), group.rows, {}};
        texts << line.text;
        if (group.members.size() > 1) {
            for (const std::size_t i : group.members) {
                line.members.push_back({findingLine(findings[i]), findings[i].rows, {}});
                texts << QStringLiteral("  ") + line.members.back().text;
            }
        }
        lines.push_back(std::move(line));
    }
    // A load that found problems opens the panel that lists them.
    if (m_editor.loadProblemsRevision() != m_shownLoadProblems) {
        m_shownLoadProblems = m_editor.loadProblemsRevision();
        m_checksDock->show();
    }
    // One count in both places, in words; a narrow window shows the number alone.
    const QString count = checksCountText(findings, m_editor.loadProblems().size());
    m_checksButton->setForms({QStringLiteral("Checks: %1").arg(count),
        QStringLiteral("Checks (%1)").arg(findings.size() + m_editor.loadProblems().size())});
    m_checksDock->setWindowTitle(QStringLiteral("Checks: %1").arg(count));
    if (texts == m_shownChecks)
        return;
    m_shownChecks = texts;
    m_checkRows.clear();
    m_checks->clear();
    auto item = [this](const Line& line) {
        auto* it = new QTreeWidgetItem(QStringList{line.text});
        it->setToolTip(0, line.text);
        it->setData(0, Qt::UserRole, static_cast<int>(m_checkRows.size()));
        m_checkRows.push_back(line.rows);
        return it;
    };
    QList<QTreeWidgetItem*> top;
    for (const Line& line : lines) {
        QTreeWidgetItem* it = item(line);
        for (const Line& member : line.members)
            it->addChild(item(member));
        top << it;
    }
    m_checks->addTopLevelItems(top);
}

} // namespace starloom
