#include "TermListModel.h"

int TermListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant TermListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return QVariant();
    const Item &it = m_items[index.row()];
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return it.term;
    if (role == Qt::UserRole)
        return it.id;
    return QVariant();
}

void TermListModel::clear()
{
    setItems({});
}

void TermListModel::setItems(QList<Item> items)
{
    beginResetModel();
    m_items = std::move(items);
    endResetModel();
}
