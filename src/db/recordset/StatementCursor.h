#pragma once

#include "db/query/CatalogQuery.h"
#include "db/recordset/Cursor.h"
#include "db/sqlite/Statement.h"

#include <QStringList>

// The rows of a SELECT run on the file itself.
class StatementCursor : public Cursor {
public:
    StatementCursor(const Connection &connection, const CatalogQuery::Sql &sql);

    QStringList columns() const;
    bool atEnd() const override { return m_atEnd; }
    void first() override;
    void next() override;
    QVariant value(int column) override { return m_statement.value(column); }
    QVariantList row() override;
    void release() override { m_statement.reset(); }

private:
    Statement m_statement;
    bool m_atEnd = true;
};
