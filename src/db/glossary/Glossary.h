#pragma once

#include "db/error/DbError.h"
#include "db/glossary/ConnectionTarget.h"
#include "db/query/CatalogQuery.h"
#include "db/sqlite/Connection.h"
#include "db/sqlite/SqliteError.h"

#include <QString>
#include <QStringList>
#include <QVariant>

// What makes a file a glossary: the table and its columns, the key, the checks an opened file must pass,
// and the one wording of the engine's failures that a user of a glossary reads.
namespace glossary {

// Tbl_Zorvane with ID, Parola and Definizione, as every query names them.
const TableNames &names();
// A query of the catalogue's dialect on this table.
CatalogQuery parse(const QString &text);

// A keyed connection to an existing glossary, with the dialect's functions, checked to be a glossary; it
// never creates or changes the file. Every failure is a DbError that names the file.
Connection open(const ConnectionTarget &target);

// The engine's failure on `file`, as a DbError a user understands.
[[noreturn]] void fail(const SqliteError &error, const QString &file);
// Runs step, turning an engine failure on `file` into its DbError.
template<typename F>
auto worded(const QString &file, F &&step)
{
    try {
        return step();
    } catch (const SqliteError &e) {
        fail(e, file);
    }
}

// The ID a new row gets: above every stored one, and above every one ever handed out where the table
// remembers them (AUTOINCREMENT).
qint64 nextId(const Connection &connection);
bool hasRow(const Connection &connection, qint64 id);
// Every column of the row whose ID is ?1.
QString rowByIdSql();

// Where a column is among a row's columns: spelt as the table does, or else in any letter case, as a
// recordset finds a field; -1 when it is not there.
qsizetype columnAt(const QStringList &columns, const QString &name);

// A row's ID, term and definition, found among its values by the columns' names.
struct Entry {
    QVariant id;
    QVariant term;
    QVariant definition;
};
Entry entryOf(const QStringList &columns, const QVariantList &values);

} // namespace glossary
