#include "db/glossary/GlossaryFile.h"

#include "db/sqlite/Connection.h"
#include "db/error/DbError.h"
#include "db/sqlite/Statement.h"
#include "db/sqlite/Transaction.h"

#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

// Every glossary the program makes: AUTOINCREMENT keeps the highest ID ever handed out, so the numbers of
// deleted rows stay retired; the texts may be missing, as in the old files carried over.
const char *const Schema
    = "CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY AUTOINCREMENT, Parola TEXT, Definizione TEXT)";

// A new keyed file with only the table; whatever fails leaves no file behind, since a file without its
// table is not a glossary and would only block the next attempt.
void createTable(const QString &path, const QString &password)
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
    const int created = rc == SQLITE_OK ? sqlite3_exec(raw, Schema, nullptr, nullptr, nullptr) : rc;
    if (created != SQLITE_OK) {
        const QString detail = QString::fromUtf8(sqlite3_errmsg(raw));
        db.reset();
        GlossaryFile::removeWithJournal(path);
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

// What a table that refuses missing texts takes in their place.
const std::optional<QString> EmptyText = QStringLiteral("");

// Whether the table refuses a missing term and a missing definition (NOT NULL).
std::pair<bool, bool> requiredTexts(const Connection &connection)
{
    Statement columns(connection, "PRAGMA table_info(\"Tbl_Zorvane\")");
    std::pair<bool, bool> required;
    while (columns.step()) {
        if (columns.text(1).compare(u"Parola", Qt::CaseInsensitive) == 0)
            required.first = columns.integer(3) != 0;
        else if (columns.text(1).compare(u"Definizione", Qt::CaseInsensitive) == 0)
            required.second = columns.integer(3) != 0;
    }
    return required;
}

} // namespace

namespace GlossaryFile {

void removeWithJournal(const QString &path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

void create(const QString &path, const QString &password)
{
    createTable(path, password);
}

void append(const QString &path, const QList<Row> &rows, const QString &password)
{
    Connection connection(ConnectionTarget{path, password});
    Transaction transaction(connection);
    Statement insert(connection, "INSERT INTO Tbl_Zorvane (Parola, Definizione) VALUES (?1, ?2)");
    for (const Row &row : rows) {
        insert.bind(1, std::optional(row.term));
        insert.bind(2, std::optional(row.definition));
        insert.step();
        insert.reset();
    }
    transaction.commit();
}

QList<Row> readAll(const QString &path, const QString &password)
{
    Connection connection(ConnectionTarget{path, password});
    Statement select(connection, "SELECT Parola, Definizione FROM Tbl_Zorvane ORDER BY ID");
    QList<Row> rows;
    while (select.step())
        rows.append({select.text(0), select.text(1)});
    return rows;
}

void createFrom(const QString &path, const QList<Record> &records, qint64 lastId, const QString &password,
                const std::function<void(qsizetype, qsizetype)> &progress)
{
    createTable(path, password);
    try {
        Connection connection(ConnectionTarget{path, password});
        Transaction transaction(connection);
        Statement insert(connection, "INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (?1, ?2, ?3)");
        qint64 highest = lastId;
        for (qsizetype i = 0; i < records.size(); ++i) {
            const Record &record = records[i];
            insert.bind(1, QVariant(record.id));
            insert.bind(2, record.term);
            insert.bind(3, record.definition);
            insert.step();
            insert.reset();
            highest = std::max(highest, record.id);
            if (progress && (i % 1024 == 1023 || i + 1 == records.size()))
                progress(i + 1, records.size());
        }
        connection.exec("DELETE FROM sqlite_sequence WHERE name = 'Tbl_Zorvane'");
        Statement sequence(connection, "INSERT INTO sqlite_sequence (name, seq) VALUES ('Tbl_Zorvane', ?1)");
        sequence.bind(1, QVariant(highest));
        sequence.step();
        transaction.commit();
    } catch (...) {
        removeWithJournal(path);
        throw;
    }
}

QList<qint64> appendRecords(const QString &path, const QList<Record> &records, const QString &password,
                            const std::function<void(qsizetype, qsizetype)> &progress)
{
    Connection connection(ConnectionTarget{path, password});
    const auto [termRequired, definitionRequired] = requiredTexts(connection);
    Transaction transaction(connection);
    Statement insert(connection, "INSERT INTO Tbl_Zorvane (Parola, Definizione) VALUES (?1, ?2)");
    QList<qint64> filledIn;
    for (qsizetype i = 0; i < records.size(); ++i) {
        const Record &record = records[i];
        const bool noTerm = !record.term && termRequired;
        const bool noDefinition = !record.definition && definitionRequired;
        insert.bind(1, noTerm ? EmptyText : record.term);
        insert.bind(2, noDefinition ? EmptyText : record.definition);
        insert.step();
        insert.reset();
        if (noTerm || noDefinition)
            filledIn.append(sqlite3_last_insert_rowid(connection.handle()));
        if (progress && (i % 1024 == 1023 || i + 1 == records.size()))
            progress(i + 1, records.size());
    }
    transaction.commit();
    return filledIn;
}

QList<Record> readRecords(const QString &path, const QString &password)
{
    Connection connection(ConnectionTarget{path, password});
    Statement select(connection, "SELECT ID, Parola, Definizione FROM Tbl_Zorvane ORDER BY ID");
    QList<Record> records;
    while (select.step())
        records.append({select.integer(0), select.optionalText(1), select.optionalText(2)});
    return records;
}

void verify(const QString &path, qsizetype expectedRows, const QString &password)
{
    Connection connection(ConnectionTarget{path, password});
    Statement check(connection, "PRAGMA integrity_check");
    check.step();
    if (check.text(0) != QStringLiteral("ok"))
        throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' è danneggiato (%2).").arg(path, check.text(0)));
    Statement count(connection, "SELECT count(*) FROM Tbl_Zorvane");
    count.step();
    if (count.integer(0) != expectedRows)
        throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' ha %2 righe invece di %3.")
                                            .arg(path)
                                            .arg(count.integer(0))
                                            .arg(expectedRows));
}

} // namespace GlossaryFile
