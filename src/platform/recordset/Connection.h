#pragma once

#include "ConnectionTarget.h"

#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;
class TableCache;

// One keyed SQLCipher connection to a glossary file, closed on destruction. Opening checks that the
// file is a glossary (Tbl_Zorvane with ID, Parola and Definizione) and never creates or changes it.
class Connection {
public:
    explicit Connection(const ConnectionTarget &target);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return m_db; }

    // Turns a failed SQLite call into the DbError a user of the glossary understands.
    [[noreturn]] void fail(int rc) const;
    [[noreturn]] void fail(int rc, const QString &detail) const;

    void exec(const char *sql);

    using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>;
    // A prepared statement finalised when it goes out of scope; a failure is thrown as a DbError.
    Statement prepare(const char *sql) const;

    // The in-memory copy of the table, made on first use; nullptr until then.
    TableCache &cache();
    TableCache *cacheIfAny() const { return m_cache.get(); }

private:
    void keyAndCheck(const ConnectionTarget &target);
    bool writable() const;
    void checkIsGlossary();

    sqlite3 *m_db = nullptr;
    QString m_file;
    std::unique_ptr<TableCache> m_cache;
};
