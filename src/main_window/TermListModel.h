#pragma once

#include <QAbstractListModel>
#include <QList>

// The items of the term list: each shows its term and carries its row's ID, so that a selection reads
// the very row that was listed.
class TermListModel : public QAbstractListModel {
    Q_OBJECT

public:
    struct Item {
        QString term;
        qint64 id;
    };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    void clear();
    // Replaces every item in one go: a glossary can hold hundreds of thousands of terms.
    void setItems(QList<Item> items);
    const Item &item(int row) const { return m_items[row]; }

private:
    QList<Item> m_items;
};
