#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

// The ID and term of many rows, in a query's order, handed over at once: the listing shares the table
// the rows were read into and holds only their numbers, and a term becomes a string of its own only when
// asked for, so that a list of a million rows costs a copy of a million numbers.
class TermListing {
public:
    // Every row's ID and its term, the terms one after another in one UTF-8 text (half the bytes of
    // UTF-16 for the Latin letters of a glossary; only the rows drawn are ever converted).
    struct Table {
        struct Entry {
            qint64 id;
            // Where the term starts; it ends where the next row's starts. A database null is kept as
            // -1 - that place.
            qsizetype at;
        };
        QByteArray text;
        std::vector<Entry> entries;
        int add(qint64 id, const QVariant &term);
        // Appends a row whose term the caller has just appended to `text` from `at` on (nullopt: a null).
        int added(qint64 id, std::optional<qsizetype> at);
        bool isNull(size_t row) const { return entries[row].at < 0; }
        QByteArrayView utf8(size_t row) const;
    };

    TermListing() = default;
    TermListing(std::shared_ptr<const Table> table, QList<int> rows)
        : m_table(std::move(table)), m_rows(std::move(rows))
    {
    }

    qsizetype size() const { return m_rows.size(); }
    qint64 id(qsizetype i) const { return m_table->entries[size_t(m_rows[i])].id; }
    bool isNull(qsizetype i) const { return m_table->isNull(size_t(m_rows[i])); }
    QString term(qsizetype i) const;
    QVariant value(qsizetype i) const { return isNull(i) ? QVariant() : QVariant(term(i)); }
    // From row i on.
    TermListing from(qsizetype i) const { return TermListing(m_table, m_rows.sliced(i)); }

private:
    std::shared_ptr<const Table> m_table;
    QList<int> m_rows;
};
