#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

// The ID and term of many rows, in a query's order, handed over at once: the listing shares the table
// the rows were read into and holds only their numbers, and a term becomes a string of its own only when
// asked for, so that a list of a million rows costs a copy of a million numbers.
class TermListing {
public:
    // Every row's ID and where its term stands in one text.
    struct Table {
        struct Entry {
            qint64 id;
            qsizetype at;
            qsizetype length; // -1: the term is a database null
        };
        QString text;
        std::vector<Entry> entries;
        int add(qint64 id, const QVariant &term);
    };

    TermListing() = default;
    TermListing(std::shared_ptr<const Table> table, QList<int> rows)
        : m_table(std::move(table)), m_rows(std::move(rows))
    {
    }

    qsizetype size() const { return m_rows.size(); }
    qint64 id(qsizetype i) const { return entry(i).id; }
    bool isNull(qsizetype i) const { return entry(i).length < 0; }
    QString term(qsizetype i) const;
    QVariant value(qsizetype i) const { return isNull(i) ? QVariant() : QVariant(term(i)); }
    // From row i on.
    TermListing from(qsizetype i) const { return TermListing(m_table, m_rows.sliced(i)); }

private:
    const Table::Entry &entry(qsizetype i) const { return m_table->entries[size_t(m_rows[i])]; }

    std::shared_ptr<const Table> m_table;
    QList<int> m_rows;
};
