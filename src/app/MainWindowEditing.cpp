// The main window's part of selecting and working on the map: the "Select" button, the Edit menu's
// operations on the selection, the object list's multi-selection, "&Save" and the drawing toggles of
// the Labels menu.

#include "MainWindow.h"
#include "MainWindowParts.h"

#include "MapView.h"
#include "ObjectListModel.h"
#include "WidgetText.h"

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
#include <QLineEdit>
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

    buildChecksDock();
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

void MainWindow::showFields()
{
    const Editor& e = m_editor;
    const Panel& panel = e.panel();
    const bool several = e.selection().size() > 1;
    std::array<const SharedField*, 4> shared{};
    if (several) {
        // Worked out again only when the selection or its items change.
        if (m_sharedFieldsAt != e.revision()) {
            m_sharedFields = e.selectionFields();
            m_sharedFieldsAt = e.revision();
        }
        for (const SharedField& f : m_sharedFields)
            if (f.index >= 0 && f.index < static_cast<int>(shared.size()))
                shared[static_cast<std::size_t>(f.index)] = &f;
    }
    mainwindow::setShown(m_colour, several ? shared[0] && shared[0]->colour : panel.colourVisible);
    // A refused text stays, marked, until the selection or its items change.
    const bool keepMarks = e.revision() == m_positionMarkedAt;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        QLabel* caption = m_fieldCaptions[i];
        QLineEdit* field = m_fields[i];
        const PanelField& own = panel.fields[i];
        const SharedField* all = shared[i];
        const QString label = several ? (all ? all->label : QString()) : own.label.isEmpty() ? own.caption : own.label;
        const QString tip = several ? (all ? all->tip : QString()) : own.tip;
        const QString text = several ? (all ? all->text.value_or(QString()) : QString()) : own.text;
        const bool sameField = caption->text() == label;
        if (!sameField) {
            caption->setText(label);
            field->setAccessibleName(label);
        }
        if (caption->toolTip() != tip)
            caption->setToolTip(tip);
        // The panel's first caption for the field stays at hand for assistive tools.
        const QString first = several ? (all ? all->caption : QString()) : own.caption;
        if (caption->accessibleDescription() != first)
            caption->setAccessibleDescription(first);
        mainwindow::setShown(caption, several ? all != nullptr : own.captionVisible);
        mainwindow::setShown(field, several ? all != nullptr : own.textVisible);
        const bool readOnly = !several && !own.stored;
        if (field->isReadOnly() != readOnly)
            field->setReadOnly(readOnly);
        const QString placeholder = several ? QStringLiteral("(several)") : QString();
        if (field->placeholderText() != placeholder)
            field->setPlaceholderText(placeholder);
        if (!field->property("refusal").toString().isEmpty()) {
            if (keepMarks && sameField)
                continue;
            markField(field, QString());
        }
        field->setProperty("plainTip", tip);
        if (field->toolTip() != tip)
            field->setToolTip(tip);
        if (!(field->hasFocus() && field->isModified()))
            setTextIfChanged(field, text);
    }
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
    // a group, not thousands that the selection model would compare with each other. The rows are
    // in order, and so are their positions in each group.
    QItemSelection wanted;
    const int lastColumn = ObjectListModel::IndexColumn;
    ByTypeId<std::vector<QModelIndex>> shown;
    for (const int row : rows)
        if (const QModelIndex index = m_listModel->indexOfRow(row); index.isValid())
            shown.at(static_cast<std::size_t>(index.internalId())).push_back(index);
    for (const std::vector<QModelIndex>& group : shown) {
        for (std::size_t i = 0; i < group.size();) {
            std::size_t end = i + 1;
            while (end < group.size() && group[end].row() == group[end - 1].row() + 1)
                ++end;
            wanted.append(QItemSelectionRange(group[i], group[end - 1].siblingAtColumn(lastColumn)));
            i = end;
        }
    }
    m_listSelecting = true;
    model->select(wanted, QItemSelectionModel::ClearAndSelect);
    m_listSelecting = false;
}

} // namespace starloom
