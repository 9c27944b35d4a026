#pragma once

#include "db/search/TermListing.h"

#include <QAbstractListModel>

// The items of the term list: each shows its term and carries its row's ID, so that a selection reads
// the very row that was listed. The terms stay in the listing the store handed over; Qt is given the
// text of the rows it draws, when it draws them.
class TermListModel : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    void clear();
    // Replaces every item in one go: a glossary can hold a million terms.
    void setTerms(TermListing terms);
    qint64 id(int row) const { return m_terms.id(row); }

private:
    TermListing m_terms;
};
