#include "GlossaryFile.h"

#include "Connection.h"
#include "DbError.h"

#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <memory>

namespace {

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Statement = Connection::Statement;


QString columnText(sqlite3_stmt *stmt, int column)
{
    const auto *text = static_cast<const char16_t *>(sqlite3_column_text16(stmt, column));
    return QString(reinterpret_cast<const QChar *>(text), sqlite3_column_bytes16(stmt, column) / 2);
}

// Rolls back unless committed, so that a failure half-way through leaves the file as it was.
class Transaction {
public:
    explicit Transaction(Connection &connection) : m_connection(connection) { m_connection.exec("BEGIN IMMEDIATE"); }
    ~Transaction()
    {
        if (!m_committed)
            sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit()
    {
        m_connection.exec("COMMIT");
        m_committed = true;
    }

private:
    Connection &m_connection;
    bool m_committed = false;
};

void bindText(sqlite3_stmt *stmt, int index, const std::optional<QString> &text)
{
    if (text)
        sqlite3_bind_text16(stmt, index, text->utf16(), int(text->size() * 2), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(stmt, index);
}

std::optional<QString> columnValue(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return std::nullopt;
    return columnText(stmt, column);
}

void removeWithJournal(const QString &path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

// A new keyed file with only the table; whatever fails leaves no file behind, since a file without its
// table is not a glossary and would only block the next attempt.
void createTable(const QString &path, const QString &password, const char *sql)
{
    if (QFileInfo::exists(path))
        throw DbError(DbError::Unknown, QStringLiteral("Il file '%1' esiste già: non viene sovrascritto.").arg(path));
    sqlite3 *raw = nullptr;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Db db(raw);
    const QByteArray key = password.toUtf8();
    if (rc == SQLITE_OK)
        sqlite3_key(raw, key.constData(), int(key.size()));
    const int created = rc == SQLITE_OK ? sqlite3_exec(raw, sql, nullptr, nullptr, nullptr) : rc;
    if (created != SQLITE_OK) {
        const QString detail = QString::fromUtf8(sqlite3_errmsg(raw));
        db.reset();
        removeWithJournal(path);
        switch (created & 0xff) {
        case SQLITE_CANTOPEN:
        case SQLITE_READONLY:
        case SQLITE_PERM:
            throw DbError(DbError::FileLocked,
                          QStringLiteral("Impossibile creare il file '%1': la cartella deve essere scrivibile.")
                              .arg(path));
        case SQLITE_FULL:
            throw DbError(DbError::DiskFull,
                          QStringLiteral("Spazio su disco insufficiente per creare il file '%1'.").arg(path));
        default:
            throw DbError(DbError::Unknown, QStringLiteral("Impossibile creare il file '%1' (%2).").arg(path, detail));
        }
    }
}

} // namespace

namespace GlossaryFile {

void create(const QString &path, const QString &password)
{
    createTable(path, password, "CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY, Parola TEXT NOT NULL, "
                                "Definizione TEXT NOT NULL)");
}

void append(const QString &path, const QList<Row> &rows, const QString &password)
{
    Connection connection(ConnectionTarget{path, password});
    Transaction transaction(connection);
    Statement insert = connection.prepare("INSERT INTO Tbl_Zorvane (Parola, Definizione) VALUES (?1, ?2)");
    for (const Row &row : rows) {
        sqlite3_bind_text16(insert.get(), 1, row.term.utf16(), int(row.term.size() * 2), SQLITE_TRANSIENT);
        sqlite3_bind_text16(insert.get(), 2, row.definition.utf16(), int(row.definition.size() * 2), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(insert.get());
        if (rc != SQLITE_DONE)
            connection.fail(rc);
        sqlite3_reset(insert.get());
    }
    transaction.commit();
}

QList<Row> readAll(const QString &path, const QString &password)
{
    Connection connection(ConnectionTarget{path, password});
    Statement select = connection.prepare("SELECT Parola, Definizione FROM Tbl_Zorvane ORDER BY ID");
    QList<Row> rows;
    int rc;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW)
        rows.append({columnText(select.get(), 0), columnText(select.get(), 1)});
    if (rc != SQLITE_DONE)
        connection.fail(rc);
    return rows;
}

} // namespace GlossaryFile

namespace GlossaryFile {

void createFrom(const QString &path, const QList<Record> &records, qint64 lastId, const QString &password,
                const std::function<void(qsizetype, qsizetype)> &progress)
{
    // AUTOINCREMENT keeps the highest ID ever handed out, so the numbers of deleted rows stay retired.
    createTable(path, password,
                "CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY AUTOINCREMENT, Parola TEXT, Definizione TEXT)");
    try {
        Connection connection(ConnectionTarget{path, password});
        Transaction transaction(connection);
        Statement insert = connection.prepare("INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (?1, ?2, ?3)");
        qint64 highest = lastId;
        for (qsizetype i = 0; i < records.size(); ++i) {
            const Record &record = records[i];
            sqlite3_bind_int64(insert.get(), 1, record.id);
            bindText(insert.get(), 2, record.term);
            bindText(insert.get(), 3, record.definition);
            const int rc = sqlite3_step(insert.get());
            if (rc != SQLITE_DONE)
                connection.fail(rc);
            sqlite3_reset(insert.get());
            highest = std::max(highest, record.id);
            if (progress && (i % 1024 == 1023 || i + 1 == records.size()))
                progress(i + 1, records.size());
        }
        connection.exec("DELETE FROM sqlite_sequence WHERE name = 'Tbl_Zorvane'");
        Statement sequence = connection.prepare("INSERT INTO sqlite_sequence (name, seq) VALUES ('Tbl_Zorvane', ?1)");
        sqlite3_bind_int64(sequence.get(), 1, highest);
        const int rc = sqlite3_step(sequence.get());
        if (rc != SQLITE_DONE)
            connection.fail(rc);
        transaction.commit();
    } catch (...) {
        removeWithJournal(path);
        throw;
    }
}

void appendRecords(const QString &path, const QList<Record> &records, const QString &password,
                   const std::function<void(qsizetype, qsizetype)> &progress)
{
    Connection connection(ConnectionTarget{path, password});
    Transaction transaction(connection);
    Statement insert = connection.prepare("INSERT INTO Tbl_Zorvane (Parola, Definizione) VALUES (?1, ?2)");
    for (qsizetype i = 0; i < records.size(); ++i) {
        bindText(insert.get(), 1, records[i].term);
        bindText(insert.get(), 2, records[i].definition);
        const int rc = sqlite3_step(insert.get());
        if (rc != SQLITE_DONE)
            connection.fail(rc);
        sqlite3_reset(insert.get());
        if (progress && (i % 1024 == 1023 || i + 1 == records.size()))
            progress(i + 1, records.size());
    }
    transaction.commit();
}

QList<Record> readRecords(const QString &path, const QString &password)
{
    Connection connection(ConnectionTarget{path, password});
    Statement select = connection.prepare("SELECT ID, Parola, Definizione FROM Tbl_Zorvane ORDER BY ID");
    QList<Record> records;
    int rc;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW)
        records.append({sqlite3_column_int64(select.get(), 0), columnValue(select.get(), 1),
                        columnValue(select.get(), 2)});
    if (rc != SQLITE_DONE)
        connection.fail(rc);
    return records;
}

void verify(const QString &path, qsizetype expectedRows, const QString &password)
{
    Connection connection(ConnectionTarget{path, password});
    Statement check = connection.prepare("PRAGMA integrity_check");
    int rc = sqlite3_step(check.get());
    if (rc != SQLITE_ROW)
        connection.fail(rc);
    if (columnText(check.get(), 0) != QStringLiteral("ok"))
        throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' è danneggiato (%2).").arg(path, columnText(check.get(), 0)));
    Statement count = connection.prepare("SELECT count(*) FROM Tbl_Zorvane");
    rc = sqlite3_step(count.get());
    if (rc != SQLITE_ROW)
        connection.fail(rc);
    if (sqlite3_column_int64(count.get(), 0) != expectedRows)
        throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' ha %2 righe invece di %3.")
                                            .arg(path).arg(sqlite3_column_int64(count.get(), 0)).arg(expectedRows));
}

} // namespace GlossaryFile
