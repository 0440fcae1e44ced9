// The hint an empty level shows over the top view: how to begin (open a level, a recent one, a
// new one from a layout of start points, or place items by hand). It goes at the first edit.

#include "MainWindow.h"
#include "MainWindowParts.h"

#include "MapView.h"

#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace starloom {

using namespace mainwindow;

namespace {

constexpr int hintRecentLevels = 4;

} // namespace

void MainWindow::buildStartHint()
{
    m_hint = new QFrame(m_top);
    m_hint->setObjectName(QStringLiteral("frmStartHint"));
    m_hint->setFrameShape(QFrame::StyledPanel);
    m_hint->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(m_hint);
    auto* title = new QLabel(QStringLiteral("<b>Start a map</b>"), m_hint);
    column->addWidget(title);

    auto* open = new QPushButton(QStringLiteral("Open Level..."), m_hint);
    open->setObjectName(QStringLiteral("cmdHintOpen"));
    connect(open, &QPushButton::clicked, this, [this] { handle([this] { m_editor.openChosenFile(); }); });
    column->addWidget(open);

    m_hintRecentCaption = new QLabel(QStringLiteral("Recent levels:"), m_hint);
    column->addWidget(m_hintRecentCaption);
    for (int i = 0; i < hintRecentLevels; ++i) {
        auto* recent = new QPushButton(m_hint);
        recent->setObjectName(QStringLiteral("cmdHintRecent_%1").arg(i));
        recent->setFlat(true);
        recent->setStyleSheet(QStringLiteral("text-align: left"));
        connect(recent, &QPushButton::clicked, this, [this, i] { handle([this, i] { m_editor.openRecent(i); }); });
        column->addWidget(recent);
        m_hintRecent.push_back(recent);
    }

    column->addWidget(new QLabel(QStringLiteral("A new map with start points placed evenly for:"), m_hint));
    auto* layouts = new QHBoxLayout;
    for (int players = 2; players <= playerSlots; ++players) {
        auto* layout = new QPushButton(QString::number(players), m_hint);
        layout->setObjectName(QStringLiteral("cmdHintLayout_%1").arg(players));
        layout->setToolTip(QStringLiteral("A new level for %1 players").arg(players));
        layout->setMinimumWidth(layout->fontMetrics().horizontalAdvance(QStringLiteral("88")) + 16);
        layout->setMaximumWidth(layout->minimumWidth() + 8);
        connect(layout, &QPushButton::clicked, this,
            [this, players] { handle([this, players] { m_editor.newLevelWithStarts(players); }); });
        layouts->addWidget(layout);
    }
    layouts->addStretch(1);
    column->addLayout(layouts);
    auto* byHand = new QLabel(
        QStringLiteral("Or choose Place (P) and a kind in the Properties panel, then click on the map."), m_hint);
    byHand->setWordWrap(true);
    column->addWidget(byHand);
    m_hint->hide();
    m_top->installEventFilter(this);
}

void MainWindow::refreshStartHint()
{
    const Editor& e = m_editor;
    const bool shown = e.rows().empty() && !e.isModified() && m_top->width() > 200;
    if (!shown) {
        setShown(m_hint, false);
        return;
    }
    const QStringList& recent = e.recentLevels();
    m_hintRecentCaption->setVisible(!recent.isEmpty());
    for (int i = 0; i < hintRecentLevels; ++i) {
        QPushButton* button = m_hintRecent[std::size_t(i)];
        const bool has = i < recent.size();
        button->setVisible(has);
        if (has) {
            QString fileName = QFileInfo(recent[i]).fileName();
            button->setText(fileName.replace(QLatin1Char('&'), QStringLiteral("&&")));
            button->setToolTip(recent[i]);
        }
    }
    placeStartHint();
    setShown(m_hint, true);
}

void MainWindow::placeStartHint()
{
    if (!m_hint)
        return;
    const int width = std::min(m_top->width() - 40, std::max(360, m_hint->sizeHint().width()));
    const int height = std::min(m_top->height() - 20,
        m_hint->heightForWidth(width) > 0 ? m_hint->heightForWidth(width) : m_hint->sizeHint().height());
    m_hint->setGeometry((m_top->width() - width) / 2, (m_top->height() - height) / 2, width, height);
}

} // namespace starloom
