#include "IndexCursor.h"

#include "DbError.h"
#include "Statement.h"

IndexCursor::IndexCursor(const Connection &connection, QList<TableIndex::Hit> hits, int idColumn, int termColumn)
    : m_connection(connection), m_hits(std::move(hits)), m_idColumn(idColumn), m_termColumn(termColumn)
{
}

void IndexCursor::first()
{
    m_position = 0;
    m_row.reset();
}

void IndexCursor::next()
{
    ++m_position;
    m_row.reset();
}

QVariant IndexCursor::value(int column)
{
    const TableIndex::Hit &hit = m_hits[m_position];
    if (column == m_idColumn)
        return QVariant(hit.id);
    if (column == m_termColumn)
        return hit.termNull ? QVariant() : QVariant(hit.term);
    return row().value(column);
}

QVariantList IndexCursor::row()
{
    if (!m_row) {
        Statement stmt(m_connection, "SELECT * FROM \"Tbl_Zorvane\" WHERE \"ID\" = ?1");
        stmt.bind(1, QVariant(m_hits[m_position].id));
        if (!stmt.step())
            throw DbError::noCurrentRecord(QStringLiteral("il termine non è più presente nel glossario"));
        QVariantList values;
        for (int i = 0, n = stmt.columnCount(); i < n; ++i)
            values.append(stmt.value(i));
        m_row = std::move(values);
    }
    return *m_row;
}
