#include "Recordset.h"

#include "Connection.h"
#include "ConnectionPool.h"
#include "ConnectionTarget.h"
#include "DbError.h"
#include "JetQuery.h"

#include <sqlcipher/sqlite3.h>

namespace {

[[noreturn]] void noCurrentRecord()
{
    throw DbError(DbError::NoCurrentRecord, QStringLiteral("Nessun record corrente."));
}

[[noreturn]] void closed()
{
    throw DbError(DbError::Unknown, QStringLiteral("Operazione non consentita se l'oggetto è chiuso."));
}

void bindValue(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(stmt, index);
    } else if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
        sqlite3_bind_int64(stmt, index, value.toLongLong());
    } else {
        const QString text = value.toString();
        sqlite3_bind_text16(stmt, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
    }
}

QVariant columnValue(sqlite3_stmt *stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, i));
    default: {
        const auto *p = static_cast<const char16_t *>(sqlite3_column_text16(stmt, i));
        return QVariant(QString(reinterpret_cast<const QChar *>(p), sqlite3_column_bytes16(stmt, i) / 2));
    }
    }
}

} // namespace

QVariant Field::Value() const
{
    return m_rs->read(m_name);
}

void Field::setValue(const QVariant &value)
{
    m_rs->stage(m_name, value);
}

Recordset::Recordset() = default;

Recordset::~Recordset()
{
    Close();
}

bool Recordset::isOpen() const
{
    return m_connection != nullptr;
}

void Recordset::Open(const QString &source, const QString &connectionString, int, int, int)
{
    Close();
    const JetQuery query = JetQuery::translate(source);
    auto connection = ConnectionPool::acquire(ConnectionTarget::parse(connectionString));
    try {
        run(query, connection);
    } catch (const DbError &) {
        // A connection that failed is not trusted with the next operation.
        Close();
        ConnectionPool::discard(connection);
        throw;
    }
}

void Recordset::run(const JetQuery &query, const std::shared_ptr<Connection> &connection)
{
    sqlite3 *db = connection->handle();
    const QString &sql = query.sql;
    int rc = sqlite3_prepare16_v2(db, sql.utf16(), int(sql.size() * 2), &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        connection->fail(rc);
    for (int i = 0; i < query.parameters.size(); ++i)
        bindValue(m_stmt, i + 1, query.parameters[i]);

    if (query.kind == JetQuery::Delete) {
        rc = sqlite3_step(m_stmt);
        finishStatement();
        if (rc != SQLITE_DONE)
            connection->fail(rc);
        m_affected = sqlite3_changes(db);
        // A delete leaves the recordset closed with no rows, as ADO does.
        return;
    }

    for (int i = 0, n = sqlite3_column_count(m_stmt); i < n; ++i)
        m_columns.append(QString::fromUtf8(sqlite3_column_name(m_stmt, i)));
    m_connection = connection;
    m_position = -1;
    step();
}

void Recordset::fail(int rc)
{
    const std::shared_ptr<Connection> connection = m_connection;
    ConnectionPool::discard(connection);
    connection->fail(rc);
}

void Recordset::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        m_eof = false;
        ++m_position;
        return;
    }
    m_eof = true;
    // Reset at once so that the read lock ends with the rows, not with the recordset.
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE)
        fail(rc);
}

bool Recordset::Eof() const
{
    if (!isOpen())
        closed();
    return m_mode == Mode::Adding ? false : m_eof;
}

void Recordset::MoveFirst()
{
    if (!isOpen())
        closed();
    if (m_position == 0 && !m_eof)
        return;
    sqlite3_reset(m_stmt);
    m_position = -1;
    step();
    if (m_eof)
        noCurrentRecord();
}

void Recordset::MoveNext()
{
    if (!isOpen())
        closed();
    if (m_eof)
        noCurrentRecord();
    step();
}

int Recordset::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    throw DbError(DbError::NoSuchField,
                  QStringLiteral("Elemento non trovato nell'insieme: il campo '%1' non esiste.").arg(name));
}

QVariant Recordset::read(const QString &name) const
{
    if (!isOpen())
        closed();
    const int index = columnIndex(name);
    if (m_mode != Mode::Browse || m_staged.contains(index))
        return m_staged.value(index);
    if (m_eof)
        noCurrentRecord();
    return columnValue(m_stmt, index);
}

void Recordset::stage(const QString &name, const QVariant &value)
{
    if (!isOpen())
        closed();
    const int index = columnIndex(name);
    if (m_mode == Mode::Browse) {
        if (m_eof)
            noCurrentRecord();
        // Keep the row's values, then let go of the statement: a write needs no open read.
        const int idIndex = columnIndex(QStringLiteral("ID"));
        m_currentId = sqlite3_column_int64(m_stmt, idIndex);
        for (int i = 0; i < m_columns.size(); ++i)
            m_staged.insert(i, columnValue(m_stmt, i));
        sqlite3_reset(m_stmt);
        m_mode = Mode::Editing;
    }
    m_staged.insert(index, value);
}

void Recordset::AddNew()
{
    if (!isOpen())
        closed();
    rollback();
    sqlite3_reset(m_stmt);
    m_staged.clear();
    // The write lock is taken here so that the ID handed out now is still free when the row is written;
    // it is held only until UpdateBatch or Close of this same operation.
    m_connection->exec("BEGIN IMMEDIATE");
    m_inTransaction = true;
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_connection->handle(), "SELECT coalesce(max(\"ID\"), 0) + 1 FROM \"Tbl_Zorvane\"",
                                -1, &stmt, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(stmt);
    const qint64 id = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW) {
        rollback();
        fail(rc);
    }
    m_staged.insert(columnIndex(QStringLiteral("ID")), QVariant(id));
    m_mode = Mode::Adding;
}

void Recordset::UpdateBatch()
{
    if (!isOpen())
        closed();
    if (m_mode == Mode::Browse)
        return;
    sqlite3 *db = m_connection->handle();
    QString sql;
    QVariantList values;
    if (m_mode == Mode::Adding) {
        QStringList names, marks;
        for (auto it = m_staged.cbegin(); it != m_staged.cend(); ++it) {
            names.append(QStringLiteral("\"%1\"").arg(m_columns[it.key()]));
            values.append(it.value());
            marks.append(QStringLiteral("?%1").arg(values.size()));
        }
        sql = QStringLiteral("INSERT INTO \"Tbl_Zorvane\" (%1) VALUES (%2)").arg(names.join(u", "), marks.join(u", "));
    } else {
        QStringList sets;
        for (auto it = m_staged.cbegin(); it != m_staged.cend(); ++it) {
            values.append(it.value());
            sets.append(QStringLiteral("\"%1\" = ?%2").arg(m_columns[it.key()]).arg(values.size()));
        }
        values.append(QVariant(m_currentId));
        sql = QStringLiteral("UPDATE \"Tbl_Zorvane\" SET %1 WHERE \"ID\" = ?%2").arg(sets.join(u", ")).arg(values.size());
        m_connection->exec("BEGIN IMMEDIATE");
        m_inTransaction = true;
    }

    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare16_v2(db, sql.utf16(), int(sql.size() * 2), &stmt, nullptr);
    if (rc == SQLITE_OK) {
        for (int i = 0; i < values.size(); ++i)
            bindValue(stmt, i + 1, values[i]);
        rc = sqlite3_step(stmt);
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        rollback();
        fail(rc);
    }
    if (m_mode == Mode::Editing && sqlite3_changes(db) != 1) {
        rollback();
        throw DbError(DbError::NoCurrentRecord,
                      QStringLiteral("Nessun record corrente: il termine è stato eliminato da un altro programma."));
    }
    rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        rollback();
        fail(rc);
    }
    m_inTransaction = false;
    m_mode = Mode::Browse;
    m_staged.clear();
    m_eof = true;
}

void Recordset::rollback()
{
    if (m_inTransaction) {
        sqlite3_exec(m_connection->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
    }
}

void Recordset::finishStatement()
{
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
}

void Recordset::Close()
{
    if (m_connection)
        rollback();
    finishStatement();
    m_connection.reset();
    m_columns.clear();
    m_staged.clear();
    m_mode = Mode::Browse;
    m_eof = true;
    m_position = -1;
}
