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
    if (query.kind == JetQuery::Select && ConnectionPool::enabled() && TableCache::answers(query)) {
        m_hits = connection->cache().select(query);
        m_columns = connection->cache().columns();
        m_idColumn = columnIndex(QStringLiteral("ID"));
        m_termColumn = columnIndex(QStringLiteral("Parola"));
        m_connection = connection;
        m_fromCache = true;
        m_position = m_hits.isEmpty() ? -1 : 0;
        m_eof = m_hits.isEmpty();
        return;
    }

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
        if (TableCache *cache = connection->cacheIfAny()) {
            const bool byId = query.where.size() == 1 && query.where[0].size() == 1 &&
                              query.where[0][0].operand.column == JetQuery::Id && !query.where[0][0].isLike;
            if (byId)
                cache->rowDeleted(query.where[0][0].number);
            else if (m_affected > 0)
                cache->invalidate();
        }
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

void Recordset::failAfterRollback(int rc)
{
    // The engine's message must be read before the rollback replaces it.
    const QString detail = QString::fromUtf8(sqlite3_errmsg(m_connection->handle()));
    rollback();
    const std::shared_ptr<Connection> connection = m_connection;
    ConnectionPool::discard(connection);
    connection->fail(rc, detail);
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

QVariantList Recordset::currentValues()
{
    if (!m_fromCache) {
        QVariantList values;
        for (int i = 0; i < m_columns.size(); ++i)
            values.append(columnValue(m_stmt, i));
        return values;
    }
    if (m_fullRow.isEmpty()) {
        sqlite3_stmt *stmt = nullptr;
        int rc = sqlite3_prepare_v2(m_connection->handle(), "SELECT * FROM \"Tbl_Zorvane\" WHERE \"ID\" = ?1", -1,
                                    &stmt, nullptr);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> guard(stmt, sqlite3_finalize);
        if (rc != SQLITE_OK)
            fail(rc);
        sqlite3_bind_int64(stmt, 1, m_hits[m_position].id);
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            throw DbError(DbError::NoCurrentRecord,
                          QStringLiteral("Nessun record corrente: il termine non è più presente nel glossario."));
        if (rc != SQLITE_ROW)
            fail(rc);
        for (int i = 0, n = sqlite3_column_count(stmt); i < n; ++i)
            m_fullRow.append(columnValue(stmt, i));
    }
    return m_fullRow;
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
    if (m_fromCache) {
        if (m_hits.isEmpty())
            noCurrentRecord();
        m_position = 0;
        m_eof = false;
        m_fullRow.clear();
        return;
    }
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
    if (m_fromCache) {
        m_fullRow.clear();
        m_eof = ++m_position >= m_hits.size();
        return;
    }
    step();
}

int Recordset::columnIndex(const QString &name) const
{
    // Callers mostly spell a name as the table does: the exact comparison is the quick one.
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i] == name)
            return i;
    }
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    throw DbError(DbError::NoSuchField,
                  QStringLiteral("Elemento non trovato nell'insieme: il campo '%1' non esiste.").arg(name));
}

QVariant Recordset::read(const QString &name)
{
    if (!isOpen())
        closed();
    const int index = columnIndex(name);
    if (m_mode != Mode::Browse || m_staged.contains(index))
        return m_staged.value(index);
    if (m_eof)
        noCurrentRecord();
    if (!m_fromCache)
        return columnValue(m_stmt, index);
    const TableCache::Hit &hit = m_hits[m_position];
    if (index == m_idColumn)
        return QVariant(hit.id);
    if (index == m_termColumn)
        return hit.termNull ? QVariant() : QVariant(hit.term);
    return currentValues().value(index);
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
        const QVariantList values = currentValues();
        m_currentId = values.value(columnIndex(QStringLiteral("ID"))).toLongLong();
        for (int i = 0; i < values.size(); ++i)
            m_staged.insert(i, values[i]);
        if (m_stmt)
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
    if (m_stmt)
        sqlite3_reset(m_stmt);
    m_staged.clear();
    // The write lock is taken here so that the ID handed out now is still free when the row is written;
    // it is held only until UpdateBatch or Close of this same operation.
    m_connection->exec("BEGIN IMMEDIATE");
    m_inTransaction = true;
    // A table with AUTOINCREMENT (a glossary carried over from an older file) remembers the highest ID
    // it ever handed out, deleted rows included; those numbers are never given again.
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_connection->handle(),
                                "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'sqlite_sequence'",
                                -1, &stmt, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(stmt);
    const bool remembers = rc == SQLITE_ROW && sqlite3_column_int(stmt, 0) > 0;
    sqlite3_finalize(stmt);
    stmt = nullptr;
    if (rc == SQLITE_ROW)
        rc = sqlite3_prepare_v2(m_connection->handle(),
                                remembers ? "SELECT max(coalesce((SELECT max(\"ID\") FROM \"Tbl_Zorvane\"), 0), "
                                            "coalesce((SELECT max(seq) FROM sqlite_sequence WHERE name = 'Tbl_Zorvane' "
                                            "COLLATE NOCASE), 0)) + 1"
                                          : "SELECT coalesce(max(\"ID\"), 0) + 1 FROM \"Tbl_Zorvane\"",
                                -1, &stmt, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(stmt);
    const qint64 id = stmt ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW) {
        failAfterRollback(rc);
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
        failAfterRollback(rc);
    }
    if (m_mode == Mode::Editing && sqlite3_changes(db) != 1) {
        rollback();
        throw DbError(DbError::NoCurrentRecord,
                      QStringLiteral("Nessun record corrente: il termine è stato eliminato da un altro programma."));
    }
    rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        failAfterRollback(rc);
    }
    m_inTransaction = false;
    afterCommit(m_mode == Mode::Editing ? m_currentId : -1);
    m_mode = Mode::Browse;
    m_staged.clear();
    m_eof = true;
}

void Recordset::afterCommit(qint64 previousId)
{
    TableCache *cache = m_connection->cacheIfAny();
    if (!cache)
        return;
    QVariant id, term, definition;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].compare(u"ID", Qt::CaseInsensitive) == 0)
            id = m_staged.value(i);
        else if (m_columns[i].compare(u"Parola", Qt::CaseInsensitive) == 0)
            term = m_staged.value(i);
        else if (m_columns[i].compare(u"Definizione", Qt::CaseInsensitive) == 0)
            definition = m_staged.value(i);
    }
    if (previousId >= 0 && previousId != id.toLongLong())
        cache->rowDeleted(previousId);
    cache->rowWritten(id.isValid() ? id.toLongLong() : previousId, term, definition);
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
    m_fromCache = false;
    m_hits.clear();
    m_fullRow.clear();
    m_mode = Mode::Browse;
    m_eof = true;
    m_position = -1;
}
