#include "db/sqlite/Connection.h"

#include "db/sqlite/SqliteError.h"

#include <QFile>

#include <sqlcipher/sqlite3.h>

Connection::Connection(const QString &file, Mode mode) : m_file(file)
{
    const QByteArray path = QFile::encodeName(m_file);
    const int flags = SQLITE_OPEN_READWRITE | (mode == Mode::Create ? SQLITE_OPEN_CREATE : 0);
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.constData(), &db, flags, nullptr);
    // Owned at once, also when the open failed, so that any throw from here on closes it.
    m_db.reset(db);
    if (rc != SQLITE_OK)
        SqliteError::raise(db, rc);
}

void Connection::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

void Connection::key(QByteArrayView key)
{
    const int rc = sqlite3_key(handle(), key.data(), int(key.size()));
    if (rc != SQLITE_OK)
        SqliteError::raise(handle(), rc);
}

void Connection::setBusyTimeout(int ms)
{
    sqlite3_busy_timeout(handle(), ms);
}

void Connection::exec(const char *sql)
{
    const int rc = sqlite3_exec(handle(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        SqliteError::raise(handle(), rc);
}

qint64 Connection::changes() const
{
    return sqlite3_changes(handle());
}

qint64 Connection::lastInsertRowId() const
{
    return sqlite3_last_insert_rowid(handle());
}
