#include "db/glossary/GlossaryFile.h"

#include "db/glossary/Glossary.h"
#include "db/sqlite/Statement.h"
#include "db/sqlite/Transaction.h"

#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <utility>

namespace {

const QString &table()
{
    return glossary::names().table;
}

// Every glossary the program makes: AUTOINCREMENT keeps the highest ID ever handed out, so the numbers of
// deleted rows stay retired; the texts may be missing, as in the old files carried over.
QByteArray schema()
{
    const auto &c = glossary::names().columns;
    return QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 TEXT, %4 TEXT)")
        .arg(table(), c[CatalogQuery::Id], c[CatalogQuery::Term], c[CatalogQuery::Definition])
        .toUtf8();
}

// "INSERT INTO <table> (<the columns>) VALUES (?1, ...)", ID first when it is given.
QString insertSql(bool withId)
{
    const auto &c = glossary::names().columns;
    return withId ? QStringLiteral("INSERT INTO %1 (%2, %3, %4) VALUES (?1, ?2, ?3)")
                        .arg(table(), c[CatalogQuery::Id], c[CatalogQuery::Term], c[CatalogQuery::Definition])
                  : QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?1, ?2)")
                        .arg(table(), c[CatalogQuery::Term], c[CatalogQuery::Definition]);
}

QString selectSql(bool withId)
{
    const auto &c = glossary::names().columns;
    return withId ? QStringLiteral("SELECT %2, %3, %4 FROM %1 ORDER BY %2")
                        .arg(table(), c[CatalogQuery::Id], c[CatalogQuery::Term], c[CatalogQuery::Definition])
                  : QStringLiteral("SELECT %3, %4 FROM %1 ORDER BY %2")
                        .arg(table(), c[CatalogQuery::Id], c[CatalogQuery::Term], c[CatalogQuery::Definition]);
}

// A new keyed file with only the table; whatever fails leaves no file behind, since a file without its
// table is not a glossary and would only block the next attempt.
void createTable(const QString &path, const QString &password)
{
    if (QFileInfo::exists(path))
        throw DbError(DbError::Unknown, QStringLiteral("Il file '%1' esiste già: non viene sovrascritto.").arg(path));
    try {
        Connection connection(path, Connection::Mode::Create);
        connection.key(password.toUtf8());
        connection.exec(schema().constData());
    } catch (const SqliteError &e) {
        const QString &detail = e.message();
        GlossaryFile::removeWithJournal(path);
        switch (e.primary()) {
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
    const auto &c = glossary::names().columns;
    Statement columns(connection, QStringLiteral("PRAGMA table_info(\"%1\")").arg(table()));
    std::pair<bool, bool> required;
    while (columns.step()) {
        if (columns.text(1).compare(c[CatalogQuery::Term], Qt::CaseInsensitive) == 0)
            required.first = columns.integer(3) != 0;
        else if (columns.text(1).compare(c[CatalogQuery::Definition], Qt::CaseInsensitive) == 0)
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
    glossary::worded(path, [&] {
        Connection connection = glossary::open(ConnectionTarget{path, password});
        Transaction transaction(connection);
        Statement insert(connection, insertSql(false));
        for (const Row &row : rows) {
            insert.bind(1, std::optional(row.term));
            insert.bind(2, std::optional(row.definition));
            insert.step();
            insert.reset();
        }
        transaction.commit();
    });
}

QList<Row> readAll(const QString &path, const QString &password)
{
    return glossary::worded(path, [&] {
        Connection connection = glossary::open(ConnectionTarget{path, password});
        Statement select(connection, selectSql(false));
        QList<Row> rows;
        while (select.step())
            rows.append({select.text(0), select.text(1)});
        return rows;
    });
}

void createFrom(const QString &path, const QList<Record> &records, qint64 lastId, const QString &password,
                const std::function<void(qsizetype, qsizetype)> &progress)
{
    createTable(path, password);
    try {
        glossary::worded(path, [&] {
        Connection connection = glossary::open(ConnectionTarget{path, password});
        Transaction transaction(connection);
        Statement insert(connection, insertSql(true));
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
        Statement forget(connection, QStringLiteral("DELETE FROM sqlite_sequence WHERE name = '%1'").arg(table()));
        forget.step();
        Statement sequence(connection,
                           QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES ('%1', ?1)").arg(table()));
        sequence.bind(1, QVariant(highest));
        sequence.step();
        transaction.commit();
        });
    } catch (...) {
        removeWithJournal(path);
        throw;
    }
}

QList<qint64> appendRecords(const QString &path, const QList<Record> &records, const QString &password,
                            const std::function<void(qsizetype, qsizetype)> &progress)
{
    return glossary::worded(path, [&] {
        Connection connection = glossary::open(ConnectionTarget{path, password});
        const auto [termRequired, definitionRequired] = requiredTexts(connection);
        Transaction transaction(connection);
        Statement insert(connection, insertSql(false));
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
                filledIn.append(connection.lastInsertRowId());
            if (progress && (i % 1024 == 1023 || i + 1 == records.size()))
                progress(i + 1, records.size());
        }
        transaction.commit();
        return filledIn;
    });
}

QList<Record> readRecords(const QString &path, const QString &password, BinaryTexts binary)
{
    return glossary::worded(path, [&] {
        Connection connection = glossary::open(ConnectionTarget{path, password});
        Statement select(connection, selectSql(true));
        QList<Record> records;
        while (select.step()) {
            if (binary == BinaryTexts::Refuse) {
                for (const int column : {1, 2}) {
                    if (select.value(column).typeId() == QMetaType::QByteArray)
                        throw BinaryText{select.integer(0), column == 2};
                }
            }
            records.append({select.integer(0), select.optionalText(1), select.optionalText(2)});
        }
        return records;
    });
}

void verify(const QString &path, qsizetype expectedRows, const QString &password)
{
    glossary::worded(path, [&] {
        Connection connection = glossary::open(ConnectionTarget{path, password});
        Statement check(connection, "PRAGMA integrity_check");
        check.step();
        if (check.text(0) != QStringLiteral("ok"))
            throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' è danneggiato (%2).").arg(path, check.text(0)));
        Statement count(connection, QStringLiteral("SELECT count(*) FROM %1").arg(table()));
        count.step();
        if (count.integer(0) != expectedRows)
            throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' ha %2 righe invece di %3.")
                                                .arg(path)
                                                .arg(count.integer(0))
                                                .arg(expectedRows));
    });
}

} // namespace GlossaryFile
