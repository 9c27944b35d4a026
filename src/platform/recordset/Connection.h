#pragma once

#include "ConnectionTarget.h"

#include <QString>

struct sqlite3;

// One keyed SQLCipher connection to a glossary file, closed on destruction. Opening checks that the
// file is a glossary (Tbl_Zorvane with ID, Parola and Definizione) and never creates or changes it.
class Connection {
public:
    explicit Connection(const ConnectionTarget &target);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return m_db; }
    const QString &fileName() const { return m_file; }

    // Turns a failed SQLite call into the DbError a user of the glossary understands.
    [[noreturn]] void fail(int rc) const;

    void exec(const char *sql);

private:
    void checkIsGlossary();

    sqlite3 *m_db = nullptr;
    QString m_file;
};
