#include "db/sqlite/SqliteError.h"

#include <sqlcipher/sqlite3.h>

SqliteError::SqliteError(int code, QString message)
    : m_code(code), m_message(std::move(message)),
      m_what(QString::number(code).append(' ').append(m_message).toStdString())
{
}

void SqliteError::raise(sqlite3 *db, int code)
{
    throw SqliteError(code, db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code)));
}
