#pragma once

#include "gamedata/GameMaps.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTreeView;

namespace starloom {

// "Open from Game": the game's multiplayer maps (path, players, description, source), sortable by
// any column and narrowed by a filter box that matches any column; Open (or a double click)
// accepts the chosen map. A map whose script stopped shows the reason as its tooltip.
class OpenFromGameDialog final : public QDialog {
    Q_OBJECT
public:
    explicit OpenFromGameDialog(const GameMapList& maps, QWidget* parent = nullptr);

    // The data: name of the map chosen; empty when none is.
    QString chosenPath() const;

private:
    void updateOpen();

    QStandardItemModel* m_model;
    QSortFilterProxyModel* m_proxy;
    QLineEdit* m_filter;
    QTreeView* m_list;
    QLabel* m_status;
    QPushButton* m_open;
};

} // namespace starloom
