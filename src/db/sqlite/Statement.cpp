#include "db/sqlite/Statement.h"

#include "db/sqlite/Connection.h"
#include "db/sqlite/SqliteError.h"

#include <sqlcipher/sqlite3.h>

Statement::Statement(const Connection &connection, const QString &sql) : m_connection(connection)
{
    const void *tail = nullptr;
    const int rc =
        sqlite3_prepare16_v2(connection.handle(), sql.utf16(), int(sql.size() * 2), &m_stmt, &tail);
    if (rc != SQLITE_OK)
        SqliteError::raise(connection.handle(), rc);
    const auto *rest = static_cast<const char16_t *>(tail);
    const auto *end = reinterpret_cast<const char16_t *>(sql.utf16()) + sql.size();
    if (rest && !QStringView(rest, end - rest).trimmed().isEmpty())
        throw SqliteError(SqliteError::MoreThanOneStatement, QStringLiteral("more than one statement"));
}

Statement::Statement(const Connection &connection, const char *sql) : Statement(connection, QString::fromUtf8(sql))
{
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::bind(int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(m_stmt, index);
    } else if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
        sqlite3_bind_int64(m_stmt, index, value.toLongLong());
    } else if (value.typeId() == QMetaType::Double) {
        sqlite3_bind_double(m_stmt, index, value.toDouble());
    } else if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_blob64(m_stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
    } else {
        const QString text = value.toString();
        sqlite3_bind_text16(m_stmt, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
    }
}

void Statement::bind(int index, const std::optional<QString> &text)
{
    // As UTF-8: SQLite takes a U+FEFF at the start of UTF-16 text for a byte order mark and drops it.
    if (text) {
        const QByteArray utf8 = text->toUtf8();
        sqlite3_bind_text64(m_stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
    } else {
        sqlite3_bind_null(m_stmt, index);
    }
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // The engine's message is read before the reset replaces it.
    const SqliteError error(rc, QString::fromUtf8(sqlite3_errmsg(m_connection.handle())));
    sqlite3_reset(m_stmt);
    throw error;
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

QVariant Statement::value(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(m_stmt, column)),
                                   sqlite3_column_bytes(m_stmt, column)));
    default:
        return QVariant(text(column));
    }
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

QString Statement::text(int column) const
{
    const auto *p = static_cast<const char16_t *>(sqlite3_column_text16(m_stmt, column));
    return QString(reinterpret_cast<const QChar *>(p), sqlite3_column_bytes16(m_stmt, column) / 2);
}

std::optional<QString> Statement::optionalText(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return text(column);
}

QByteArrayView Statement::utf8(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(p, sqlite3_column_bytes(m_stmt, column));
}
