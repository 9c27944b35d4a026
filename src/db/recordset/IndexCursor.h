#pragma once

#include "db/recordset/Cursor.h"

#include <optional>

class Connection;

// The rows the in-memory copy answered: the ID and term of each; any other column is read from the
// file by ID when asked for.
class IndexCursor : public Cursor {
public:
    IndexCursor(const Connection &connection, TermListing hits, int idColumn, int termColumn);

    bool atEnd() const override { return m_position >= m_hits.size(); }
    void first() override;
    void next() override;
    QVariant value(int column) override;
    QVariantList row() override;
    TermListing terms(int idColumn, int termColumn) override;

private:
    const Connection &m_connection;
    TermListing m_hits;
    qsizetype m_position = 0;
    int m_idColumn;
    int m_termColumn;
    std::optional<QVariantList> m_row; // the current row as the file has it, once read
};
