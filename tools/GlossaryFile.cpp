#include "GlossaryFile.h"

#include "Connection.h"
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

} // namespace

namespace GlossaryFile {

void create(const QString &path, const QString &password)
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
    if (rc != SQLITE_OK
        || sqlite3_exec(raw,
                        "CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY, Parola TEXT NOT NULL, "
                        "Definizione TEXT NOT NULL)",
                        nullptr, nullptr, nullptr)
               != SQLITE_OK) {
        const QString detail = QString::fromUtf8(sqlite3_errmsg(raw));
        db.reset();
        // A file without its table is not a glossary; leaving it would only block the next attempt.
        QFile::remove(path);
        throw DbError(DbError::Unknown, QStringLiteral("Impossibile creare il file '%1' (%2).").arg(path, detail));
    }
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
