#pragma once

#include <QtGlobal>

class Connection;
class TableIndex;

// Reads a glossary file into a TableIndex, and again whenever another program has written to the file
// since (SQLite's PRAGMA data_version), before every answer the index gives.
class TableLoader {
public:
    // Definitions are read only once a query needs them.
    void refresh(const Connection &connection, TableIndex &index, bool definitions);

private:
    // Terms alone, or terms and definitions in one reading of the file.
    void loadTerms(const Connection &connection, TableIndex &index, bool definitions);
    void loadDefinitions(const Connection &connection, TableIndex &index);

    qint64 m_dataVersion = -1;
};
