#include "RawGlossary.h"

#include <QFile>

#include <sqlcipher/sqlite3.h>

namespace {

QString text16(sqlite3_stmt *stmt, int column)
{
    const auto *p = static_cast<const QChar *>(sqlite3_column_text16(stmt, column));
    return QString(p, sqlite3_column_bytes16(stmt, column) / 2);
}

} // namespace

RawGlossary::RawGlossary(const QString &file, const QByteArray &key)
{
    sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(m_db, key.constData(), int(key.size()));
}

RawGlossary::~RawGlossary()
{
    sqlite3_close_v2(m_db);
}

QString RawGlossary::integrityCheck()
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA integrity_check", -1, &stmt, nullptr) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(m_db));
    QStringList found;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        found.append(text16(stmt, 0));
    if (rc != SQLITE_DONE)
        found.append(QString::fromUtf8(sqlite3_errmsg(m_db)));
    sqlite3_finalize(stmt);
    return found.join(u"; ");
}

QList<TempGlossary::StoredRow> RawGlossary::rows(QString *error)
{
    QList<TempGlossary::StoredRow> out;
    sqlite3_stmt *stmt = nullptr;
    int rc
        = sqlite3_prepare_v2(m_db, "SELECT ID, Parola, Definizione FROM Tbl_Zorvane ORDER BY ID", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            out.append({ sqlite3_column_int64(stmt, 0), text16(stmt, 1), text16(stmt, 2)});
    }
    if (error)
        *error = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(m_db));
    sqlite3_finalize(stmt);
    return out;
}
