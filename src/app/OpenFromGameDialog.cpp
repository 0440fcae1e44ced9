#include "OpenFromGameDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace starloom {

namespace {

constexpr int sortRole = Qt::UserRole + 1;
constexpr int pathRole = Qt::UserRole + 2;

QStandardItem* cell(const QString& text, const QVariant& sortKey, const GameMap& map)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setData(sortKey, sortRole);
    item->setData(map.path, pathRole);
    if (!map.problem.isEmpty())
        item->setToolTip(map.problem);
    return item;
}

} // namespace

OpenFromGameDialog::OpenFromGameDialog(const GameMapList& maps, QWidget* parent)
    : QDialog(parent),
      m_model(new QStandardItemModel(this)),
      m_proxy(new QSortFilterProxyModel(this)),
      m_filter(new QLineEdit(this)),
      m_list(new QTreeView(this)),
      m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("frmOpenFromGame"));
    setWindowTitle(QStringLiteral("Open from Game"));
    m_model->setHorizontalHeaderLabels(
        {QStringLiteral("Map"), QStringLiteral("Players"), QStringLiteral("Description"), QStringLiteral("Source")});
    for (const GameMap& m : maps.maps) {
        m_model->appendRow({cell(m.path, m.path.toLower(), m),
            cell(m.players > 0 ? QString::number(m.players) : QStringLiteral("-"), m.players, m),
            cell(m.description, m.description.toLower(), m), cell(m.source, m.source.toLower(), m)});
    }
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(sortRole);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);

    m_filter->setObjectName(QStringLiteral("txtFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_proxy->setFilterFixedString(text);
        updateOpen();
    });

    m_list->setObjectName(QStringLiteral("lstMaps"));
    m_list->setModel(m_proxy);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->header()->setSortIndicator(-1, Qt::AscendingOrder); // as listed: loose files first, then the archives
    m_list->setSortingEnabled(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    connect(m_list, &QTreeView::doubleClicked, this, [this] {
        if (!chosenPath().isEmpty())
            accept();
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { updateOpen(); });

    QStringList said = maps.problems;
    if (maps.maps.empty())
        said.prepend(QStringLiteral("No multiplayer maps were found in the game's data."));
    if (maps.cancelled)
        said.prepend(QStringLiteral("The listing was cancelled: the maps listed so far are shown."));
    m_status->setObjectName(QStringLiteral("lblMapsStatus"));
    m_status->setWordWrap(true);
    m_status->setText(said.join(QLatin1Char('\n')));
    m_status->setVisible(!said.isEmpty());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    m_open = buttons->button(QDialogButtonBox::Open);
    m_open->setObjectName(QStringLiteral("cmdOpen"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_filter);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    resize(900, 480);
    updateOpen();
}

QString OpenFromGameDialog::chosenPath() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : rows.first().data(pathRole).toString();
}

void OpenFromGameDialog::updateOpen()
{
    m_open->setEnabled(!chosenPath().isEmpty());
}

} // namespace starloom
