#pragma once

#include "db/query/CatalogQuery.h"

#include <QtGlobal>

class Connection;
class TableIndex;

// Reads a glossary file into a TableIndex, and again whenever another program has written to the file
// since (SQLite's PRAGMA data_version), before every answer the index gives.
class TableLoader {
public:
    explicit TableLoader(TableNames names) : m_names(std::move(names)) {}

    // Definitions are read only once a query needs them.
    void refresh(const Connection &connection, TableIndex &index, bool definitions);

private:
    void loadTerms(const Connection &connection, TableIndex &index);
    // Terms and definitions: one thread reads and decrypts the file while this one folds and files.
    void loadEverything(const Connection &connection, TableIndex &index);
    void loadDefinitions(const Connection &connection, TableIndex &index);

    // "SELECT <these columns> FROM <the table> ORDER BY <its ID>".
    QString selectSql(std::initializer_list<CatalogQuery::Column> columns) const;
    QStringList tableColumns(const Connection &connection) const;

    TableNames m_names;
    qint64 m_dataVersion = -1;
};
