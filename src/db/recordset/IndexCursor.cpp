#include "db/recordset/IndexCursor.h"

#include "db/error/DbError.h"
#include "db/glossary/Glossary.h"
#include "db/sqlite/Statement.h"

IndexCursor::IndexCursor(const Connection &connection, TermListing hits, int idColumn, int termColumn)
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
    if (column == m_idColumn)
        return QVariant(m_hits.id(m_position));
    if (column == m_termColumn)
        return m_hits.value(m_position);
    return row().value(column);
}

TermListing IndexCursor::terms(int idColumn, int termColumn)
{
    if (idColumn != m_idColumn || termColumn != m_termColumn)
        return Cursor::terms(idColumn, termColumn);
    TermListing rest = m_position == 0 ? m_hits : m_hits.from(m_position);
    m_position = m_hits.size();
    m_row.reset();
    return rest;
}

QVariantList IndexCursor::row()
{
    if (!m_row) {
        Statement stmt(m_connection, glossary::rowByIdSql());
        stmt.bind(1, QVariant(m_hits.id(m_position)));
        if (!stmt.step())
            throw DbError::noCurrentRecord(QStringLiteral("il termine non è più presente nel glossario"));
        QVariantList values;
        for (int i = 0, n = stmt.columnCount(); i < n; ++i)
            values.append(stmt.value(i));
        m_row = std::move(values);
    }
    return *m_row;
}
