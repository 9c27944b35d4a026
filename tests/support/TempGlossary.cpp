#include "support/TempGlossary.h"

#include "db/glossary/Store.h"

#include <QFile>
#include <QTest>

#include <sqlcipher/sqlite3.h>

namespace {

sqlite3 *openKeyed(const QString &file)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(db, GlossaryKey.constData(), int(GlossaryKey.size()));
    return db;
}

} // namespace

void execOn(const QString &file, const QByteArray &key, const QString &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (!key.isEmpty())
        sqlite3_key(db, key.constData(), int(key.size()));
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
        QTest::qFail(error ? error : "sqlite3_exec failed", __FILE__, __LINE__);
    sqlite3_free(error);
    sqlite3_close_v2(db);
}

TempGlossary::TempGlossary(std::initializer_list<GlossaryFile::Row> rows)
{
    GlossaryFile::create(file());
    if (rows.size() > 0)
        GlossaryFile::append(file(), QList<GlossaryFile::Row>(rows));
    store::setAppPath(folder());
}

TempGlossary::~TempGlossary()
{
    store::setAppPath(QString());
}

void TempGlossary::add(const QList<GlossaryFile::Row> &rows)
{
    GlossaryFile::append(file(), rows);
}

void TempGlossary::exec(const QString &sql) const
{
    execOn(file(), GlossaryKey, sql);
}

QString TempGlossary::value(const QString &sql) const
{
    sqlite3 *db = openKeyed(file());
    sqlite3_stmt *stmt = nullptr;
    QString out;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        out = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    return out;
}

QList<TempGlossary::StoredRow> TempGlossary::rows() const
{
    QList<StoredRow> out;
    sqlite3 *db = openKeyed(file());
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT ID, Parola, Definizione FROM Tbl_Zorvane ORDER BY ID", -1, &stmt, nullptr) ==
        SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            out.append({sqlite3_column_int64(stmt, 0),
                        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1))),
                        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 2)))});
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    return out;
}
