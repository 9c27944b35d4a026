#pragma once

#include "db/glossary/ConnectionTarget.h"

#include <QString>

#include <memory>

struct sqlite3;

// One keyed SQLCipher connection to a glossary file, closed with its owner. Opening checks that the
// file is a glossary (Tbl_Zorvane with ID, Parola and Definizione) and never creates or changes it.
class Connection {
public:
    explicit Connection(const ConnectionTarget &target);
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return m_db.get(); }

    // Turns a failed SQLite call into the DbError a user of the glossary understands.
    [[noreturn]] void fail(int rc) const;
    [[noreturn]] void fail(int rc, const QString &detail) const;

    void exec(const char *sql);
    // Rows the last write changed.
    qint64 changes() const;

private:
    struct Closer {
        void operator()(sqlite3 *db) const;
    };

    void keyAndCheck(const ConnectionTarget &target);
    bool writable() const;
    void checkIsGlossary();

    QString m_file;
    std::unique_ptr<sqlite3, Closer> m_db;
};
