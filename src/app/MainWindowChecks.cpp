// The main window's Checks dock: the limits the checks judge by, a filter box, and the findings
// and load problems grouped by code (editing/CheckGroups does the grouping and the texts; the
// dock shows them). A click on a line selects its items on the map and frames them.

#include "MainWindow.h"
#include "MainWindowParts.h"

#include "editing/CheckGroups.h"

#include <QAction>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <array>
#include <cmath>

namespace starloom {

namespace {

// Groups of at most this many lines start open.
constexpr std::size_t openGroupLines = 10;

QStyle::StandardPixmap iconOf(CheckSeverity severity)
{
    switch (severity) {
    case CheckSeverity::Error:
        return QStyle::SP_MessageBoxCritical;
    case CheckSeverity::Warning:
        return QStyle::SP_MessageBoxWarning;
    case CheckSeverity::Information:
        break;
    }
    return QStyle::SP_MessageBoxInformation;
}

} // namespace

void MainWindow::buildChecksDock()
{
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
    // The filter keeps the lines whose text, code or items hold its text.
    m_checksFilter = new QLineEdit(checksPanel);
    m_checksFilter->setObjectName(QStringLiteral("txtChecksFilter"));
    m_checksFilter->setPlaceholderText(QStringLiteral("Filter by message, code or item"));
    m_checksFilter->setClearButtonEnabled(true);
    checksLayout->addWidget(m_checksFilter);
    // One group per code, which opens to list its lines.
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
    connect(m_checksFilter, &QLineEdit::textChanged, this, [this] { showChecks(); });
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
    // One click selects the line's items (in the map and the object list alike) and frames them.
    connect(m_checks, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const QVariant line = item->data(0, Qt::UserRole);
        if (!line.isValid() || line.toInt() >= static_cast<int>(m_checkRows.size()))
            return;
        const std::vector<int>& rows = m_checkRows[static_cast<std::size_t>(line.toInt())];
        if (rows.empty())
            return;
        handle([this, rows] {
            m_editor.setSelection(rows);
            m_editor.zoomToSelection();
        });
    });
    // A group the user opened or closed stays so while the list is filled again.
    auto remember = [this](bool open) {
        return [this, open](QTreeWidgetItem* item) {
            const QString code = item->data(0, Qt::UserRole + 1).toString();
            if (!code.isEmpty())
                m_checkGroupsOpen.insert(code, open);
        };
    };
    connect(m_checks, &QTreeWidget::itemExpanded, this, remember(true));
    connect(m_checks, &QTreeWidget::itemCollapsed, this, remember(false));
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
}

void MainWindow::showChecks()
{
    const std::vector<Finding>& findings = m_editor.findings();
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
    ShownChecks now{{}, m_editor.loadProblemsRevision(), m_editor.loadProblems().size(), m_editor.rowChanges().serial(),
        m_checksFilter->text().trimmed()};
    if (now.loadProblems == m_shownChecks.loadProblems && now.problemCount == m_shownChecks.problemCount
        && now.rowSerial == m_shownChecks.rowSerial && now.filter == m_shownChecks.filter
        && findings == m_shownChecks.findings)
        return;
    now.findings = findings;
    m_shownChecks = std::move(now);
    fillChecks();
}

void MainWindow::fillChecks()
{
    const std::vector<CheckGroup> groups =
        checkGroups(m_editor.loadProblems(), m_shownChecks.findings, m_editor.rows(), m_shownChecks.filter);
    const QSignalBlocker quiet(m_checks); // opening groups here is not the user's doing
    m_checkRows.clear();
    m_checks->clear();
    std::array<QIcon, 3> icons; // by severity
    for (const CheckSeverity severity : {CheckSeverity::Error, CheckSeverity::Warning, CheckSeverity::Information})
        icons.at(std::size_t(severity)) = m_checks->style()->standardIcon(iconOf(severity), nullptr, m_checks);
    auto item = [this, &icons](CheckSeverity severity, const QString& text, const std::vector<int>& rows) {
        auto* it = new QTreeWidgetItem(QStringList{text});
        it->setIcon(0, icons.at(std::size_t(severity)));
        it->setToolTip(0, text);
        it->setData(0, Qt::UserRole, static_cast<int>(m_checkRows.size()));
        m_checkRows.push_back(rows);
        return it;
    };
    if (groups.empty()) {
        m_checks->addTopLevelItem(item(CheckSeverity::Information,
            m_shownChecks.filter.isEmpty() ? QStringLiteral("No problems found")
                                           : QStringLiteral("Nothing matches the filter"),
            {}));
        return;
    }
    QList<QTreeWidgetItem*> top;
    std::vector<bool> open;
    for (const CheckGroup& group : groups) {
        QTreeWidgetItem* it = item(group.severity, group.title, group.rows);
        it->setToolTip(0, group.summary);
        it->setData(0, Qt::UserRole + 1, group.code);
        for (const CheckLine& line : group.lines)
            it->addChild(item(line.severity, line.text, line.rows));
        top << it;
        const auto chosen = m_checkGroupsOpen.constFind(group.code);
        open.push_back(chosen != m_checkGroupsOpen.cend()
                ? *chosen
                : group.lines.size() <= openGroupLines || !m_shownChecks.filter.isEmpty());
    }
    m_checks->addTopLevelItems(top);
    for (qsizetype i = 0; i < top.size(); ++i)
        top[i]->setExpanded(open[static_cast<std::size_t>(i)]);
}

} // namespace starloom
