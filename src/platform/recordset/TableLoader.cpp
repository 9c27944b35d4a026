#include "TableLoader.h"

#include "Connection.h"
#include "Statement.h"
#include "TableIndex.h"

#include <QScopeGuard>

namespace {

std::optional<QByteArrayView> utf8OrNull(const Statement &stmt, int column)
{
    if (stmt.isNull(column))
        return std::nullopt;
    return stmt.utf8(column);
}

} // namespace

void TableLoader::refresh(const Connection &connection, TableIndex &index, bool definitions)
{
    Statement version(connection, "PRAGMA data_version");
    version.step();
    const qint64 now = version.integer(0);
    if (now != m_dataVersion || index.worthReloading())
        index.invalidate();
    m_dataVersion = now;
    if (!index.termsLoaded())
        loadTerms(connection, index, definitions);
    if (definitions && !index.definitionsLoaded())
        loadDefinitions(connection, index);
}

void TableLoader::loadTerms(const Connection &connection, TableIndex &index, bool definitions)
{
    // A read that fails half-way leaves nothing half-loaded behind.
    auto dropHalfLoaded = qScopeGuard([&] { index.invalidate(); });
    QStringList columns;
    Statement info(connection, "PRAGMA table_info(\"Tbl_Zorvane\")");
    while (info.step())
        columns.append(info.text(1));
    index.beginTerms(columns);
    Statement rows(connection, definitions ? "SELECT \"ID\", \"Parola\", \"Definizione\" FROM \"Tbl_Zorvane\""
                                           : "SELECT \"ID\", \"Parola\" FROM \"Tbl_Zorvane\"");
    while (rows.step()) {
        const int row = index.addTerm(rows.integer(0), utf8OrNull(rows, 1));
        if (definitions)
            index.setDefinitionOfRow(row, utf8OrNull(rows, 2));
    }
    index.endTerms();
    if (definitions)
        index.endDefinitions();
    dropHalfLoaded.dismiss();
}

void TableLoader::loadDefinitions(const Connection &connection, TableIndex &index)
{
    auto dropHalfLoaded = qScopeGuard([&] { index.invalidate(); });
    Statement rows(connection, "SELECT \"ID\", \"Definizione\" FROM \"Tbl_Zorvane\"");
    while (rows.step())
        index.setDefinition(rows.integer(0), utf8OrNull(rows, 1));
    index.endDefinitions();
    dropHalfLoaded.dismiss();
}
