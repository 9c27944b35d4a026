#include "GlossaryFile.h"

#include "DbError.h"

#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include <memory>

namespace {

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

[[noreturn]] void fail(sqlite3 *db, const QString &path)
{
    throw DbError(DbError::Unknown, QStringLiteral("Errore sul file '%1': %2").arg(path, QString::fromUtf8(sqlite3_errmsg(db))));
}

Db openKeyed(const QString &path, const QString &password, int flags)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK)
        fail(raw, path);
    const QByteArray key = password.toUtf8();
    sqlite3_key(raw, key.constData(), int(key.size()));
    return db;
}

void exec(sqlite3 *db, const QString &path, const char *sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db, path);
}

} // namespace

namespace GlossaryFile {

void create(const QString &path, const QString &password)
{
    if (QFileInfo::exists(path))
        throw DbError(DbError::Unknown, QStringLiteral("Il file '%1' esiste già: non viene sovrascritto.").arg(path));
    Db db = openKeyed(path, password, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    exec(db.get(), path,
         "CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY, Parola TEXT NOT NULL, Definizione TEXT NOT NULL)");
}

void append(const QString &path, const QList<Row> &rows, const QString &password)
{
    if (!QFileInfo::exists(path))
        throw DbError(DbError::FileNotFound, QStringLiteral("Impossibile trovare il file '%1'.").arg(path));
    Db db = openKeyed(path, password, SQLITE_OPEN_READWRITE);
    exec(db.get(), path, "BEGIN IMMEDIATE");
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), "INSERT INTO Tbl_Zorvane (Parola, Definizione) VALUES (?1, ?2)", -1, &stmt,
                           nullptr) != SQLITE_OK)
        fail(db.get(), path);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> guard(stmt, sqlite3_finalize);
    for (const Row &row : rows) {
        sqlite3_bind_text16(stmt, 1, row.term.utf16(), int(row.term.size() * 2), SQLITE_TRANSIENT);
        sqlite3_bind_text16(stmt, 2, row.definition.utf16(), int(row.definition.size() * 2), SQLITE_TRANSIENT);
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            fail(db.get(), path);
        }
        sqlite3_reset(stmt);
    }
    exec(db.get(), path, "COMMIT");
}

} // namespace GlossaryFile
