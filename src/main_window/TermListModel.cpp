#include "main_window/TermListModel.h"

int TermListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_terms.size());
}

QVariant TermListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_terms.size())
        return QVariant();
    // A term stored as a database null lists as an empty item.
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return m_terms.term(index.row());
    if (role == Qt::UserRole)
        return m_terms.id(index.row());
    return QVariant();
}

void TermListModel::clear()
{
    setTerms(TermListing());
}

void TermListModel::setTerms(TermListing terms)
{
    beginResetModel();
    m_terms = std::move(terms);
    endResetModel();
}
