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
    void loadTerms(const Connection &connection, TableIndex &index);
    // Terms and definitions: one thread reads and decrypts the file while this one folds and files.
    void loadEverything(const Connection &connection, TableIndex &index);
    void loadDefinitions(const Connection &connection, TableIndex &index);

    qint64 m_dataVersion = -1;
};
