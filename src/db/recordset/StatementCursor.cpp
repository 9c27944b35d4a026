#include "db/recordset/StatementCursor.h"

StatementCursor::StatementCursor(const Connection &connection, const CatalogQuery::Sql &sql)
    : m_statement(connection, sql.text)
{
    for (int i = 0; i < sql.parameters.size(); ++i)
        m_statement.bind(i + 1, sql.parameters[i]);
    first();
}

QStringList StatementCursor::columns() const
{
    QStringList names;
    for (int i = 0, n = m_statement.columnCount(); i < n; ++i)
        names.append(m_statement.columnName(i));
    return names;
}

void StatementCursor::first()
{
    m_statement.reset();
    next();
}

void StatementCursor::next()
{
    m_atEnd = !m_statement.step();
    // Reset at once so that the read lock ends with the rows, not with the recordset.
    if (m_atEnd)
        m_statement.reset();
}

QVariantList StatementCursor::row()
{
    QVariantList values;
    for (int i = 0, n = m_statement.columnCount(); i < n; ++i)
        values.append(m_statement.value(i));
    return values;
}
