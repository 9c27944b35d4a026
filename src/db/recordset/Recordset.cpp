#include "db/recordset/Recordset.h"

#include "db/recordset/ConnectionPool.h"
#include "db/glossary/ConnectionTarget.h"
#include "db/error/DbError.h"
#include "db/recordset/IndexCursor.h"
#include "db/query/CatalogQuery.h"
#include "db/sqlite/Statement.h"
#include "db/recordset/StatementCursor.h"
#include "db/sqlite/Transaction.h"

namespace {

[[noreturn]] void closed()
{
    throw DbError(DbError::Unknown, QStringLiteral("Operazione non consentita se l'oggetto è chiuso."));
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
    return m_kept != nullptr;
}

template<typename F>
auto Recordset::guarded(F &&step)
{
    try {
        return step();
    } catch (const DbError &) {
        m_transaction.reset();
        ConnectionPool::discard(m_kept);
        throw;
    }
}

void Recordset::Open(const QString &source, const QString &connectionString, int, int, int)
{
    Close();
    const CatalogQuery query = CatalogQuery::parse(source);
    auto kept = ConnectionPool::acquire(ConnectionTarget::parse(connectionString));
    try {
        run(query, kept);
    } catch (const DbError &) {
        Close();
        ConnectionPool::discard(kept);
        throw;
    }
}

void Recordset::run(const CatalogQuery &query, const std::shared_ptr<KeptConnection> &kept)
{
    const Connection &connection = kept->connection;
    if (query.kind == CatalogQuery::Delete) {
        const CatalogQuery::Sql sql = query.toSql();
        Statement remove(connection, sql.text);
        for (int i = 0; i < sql.parameters.size(); ++i)
            remove.bind(i + 1, sql.parameters[i]);
        remove.step();
        m_affected = connection.changes();
        const bool byId = query.where.size() == 1 && query.where[0].size() == 1 &&
                          query.where[0][0].operand.column == CatalogQuery::Id && !query.where[0][0].isLike;
        if (byId)
            kept->index.rowDeleted(query.where[0][0].number);
        else if (m_affected > 0)
            kept->index.invalidate();
        // A delete leaves the recordset closed with no rows, as ADO does.
        return;
    }

    if (ConnectionPool::enabled() && TableIndex::answers(query)) {
        kept->loader.refresh(connection, kept->index, TableIndex::readsDefinitions(query));
        m_columns = kept->index.columns();
        m_cursor = std::make_unique<IndexCursor>(connection, kept->index.select(query),
                                                 columnIndex(QStringLiteral("ID")),
                                                 columnIndex(QStringLiteral("Parola")));
    } else {
        auto cursor = std::make_unique<StatementCursor>(connection, query.toSql());
        m_columns = cursor->columns();
        m_cursor = std::move(cursor);
    }
    m_kept = kept;
    m_eof = m_cursor->atEnd();
    m_atFirst = true;
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
    if (m_atFirst && !m_eof)
        return;
    guarded([this] { m_cursor->first(); });
    m_atFirst = true;
    m_eof = m_cursor->atEnd();
    if (m_eof)
        throw DbError::noCurrentRecord();
}

void Recordset::MoveNext()
{
    if (!isOpen())
        closed();
    if (m_eof)
        throw DbError::noCurrentRecord();
    guarded([this] { m_cursor->next(); });
    m_atFirst = false;
    m_eof = m_cursor->atEnd();
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
    if (m_mode == Mode::Adding || m_staged.contains(index))
        return m_staged.value(index);
    if (m_mode == Mode::Editing)
        return m_original.value(index);
    if (m_eof)
        throw DbError::noCurrentRecord();
    return guarded([&] { return m_cursor->value(index); });
}

void Recordset::stage(const QString &name, const QVariant &value)
{
    if (!isOpen())
        closed();
    const int index = columnIndex(name);
    if (m_mode == Mode::Browse) {
        if (m_eof)
            throw DbError::noCurrentRecord();
        // The row as read, then the read let go: a write needs no open read, and the update checks
        // against these values that nobody changed the row meanwhile.
        m_original = guarded([this] { return m_cursor->row(); });
        m_currentId = m_original.value(columnIndex(QStringLiteral("ID"))).toLongLong();
        m_cursor->release();
        m_mode = Mode::Editing;
    }
    m_staged.insert(index, value);
}

qint64 Recordset::nextId()
{
    const Connection &connection = m_kept->connection;
    // A table with AUTOINCREMENT (a glossary carried over from an older file) remembers the highest ID
    // it ever handed out, deleted rows included; those numbers are never given again.
    Statement table(connection, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = 'Tbl_Zorvane' "
                                "COLLATE NOCASE");
    const bool remembers = table.step() && table.text(0).contains(u"AUTOINCREMENT", Qt::CaseInsensitive);
    Statement next(connection, remembers ? "SELECT max(coalesce((SELECT max(\"ID\") FROM \"Tbl_Zorvane\"), 0), "
                                           "coalesce((SELECT max(seq) FROM sqlite_sequence WHERE name = 'Tbl_Zorvane' "
                                           "COLLATE NOCASE), 0)) + 1"
                                         : "SELECT coalesce(max(\"ID\"), 0) + 1 FROM \"Tbl_Zorvane\"");
    next.step();
    // Past the largest whole number SQLite answers with a real number.
    if (next.value(0).typeId() == QMetaType::LongLong)
        return next.integer(0);
    if (!remembers) {
        Statement below(connection, "SELECT \"ID\" - 1 FROM \"Tbl_Zorvane\" AS t WHERE \"ID\" > -9223372036854775807 "
                                    "AND NOT EXISTS (SELECT 1 FROM \"Tbl_Zorvane\" WHERE \"ID\" = t.\"ID\" - 1) "
                                    "ORDER BY \"ID\" DESC LIMIT 1");
        if (below.step())
            return below.integer(0);
    }
    throw DbError(DbError::Unknown, QStringLiteral("Impossibile aggiungere un termine: il glossario ha già usato "
                                                   "tutti i numeri di ID disponibili."));
}

void Recordset::AddNew()
{
    if (!isOpen())
        closed();
    m_transaction.reset();
    m_cursor->release();
    m_staged.clear();
    // The write lock is taken here so that the ID handed out now is still free when the row is written;
    // it is held only until UpdateBatch or Close of this same operation.
    guarded([this] {
        m_transaction = std::make_unique<Transaction>(m_kept->connection);
        m_staged.insert(columnIndex(QStringLiteral("ID")), QVariant(nextId()));
    });
    m_mode = Mode::Adding;
}

void Recordset::UpdateBatch()
{
    if (!isOpen())
        closed();
    if (m_mode == Mode::Browse)
        return;
    Connection &connection = m_kept->connection;
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
        // Only the columns given a value are written; the others keep their bytes and their type. The
        // row is written only while it still holds every value that was read (optimistic locking).
        QStringList sets, same;
        for (auto it = m_staged.cbegin(); it != m_staged.cend(); ++it) {
            values.append(it.value());
            sets.append(QStringLiteral("\"%1\" = ?%2").arg(m_columns[it.key()]).arg(values.size()));
        }
        for (int i = 0; i < m_columns.size(); ++i) {
            values.append(m_original.value(i));
            same.append(QStringLiteral("\"%1\" IS ?%2").arg(m_columns[i]).arg(values.size()));
        }
        sql = QStringLiteral("UPDATE \"Tbl_Zorvane\" SET %1 WHERE %2").arg(sets.join(u", "), same.join(u" AND "));
    }

    guarded([&] {
        if (!m_transaction)
            m_transaction = std::make_unique<Transaction>(connection);
        Statement write(connection, sql);
        for (int i = 0; i < values.size(); ++i)
            write.bind(i + 1, values[i]);
        write.step();
    });
    if (m_mode == Mode::Editing && connection.changes() != 1) {
        const bool stillThere = guarded([&] {
            Statement row(connection, "SELECT 1 FROM \"Tbl_Zorvane\" WHERE \"ID\" = ?1");
            row.bind(1, QVariant(m_currentId));
            return row.step();
        });
        m_transaction.reset();
        if (stillThere)
            throw DbError::changedMeanwhile();
        throw DbError::noCurrentRecord(QStringLiteral("il termine è stato eliminato da un altro programma"));
    }
    guarded([this] { m_transaction->commit(); });
    m_transaction.reset();
    afterCommit(m_mode == Mode::Editing ? m_currentId : -1);
    m_mode = Mode::Browse;
    m_staged.clear();
    m_original.clear();
    m_eof = true;
}

void Recordset::afterCommit(qint64 previousId)
{
    // What the row holds now: the values written, and for a modify the others as they were read.
    const auto now = [this](const QString &name) {
        const int i = columnIndex(name);
        return m_staged.contains(i) ? m_staged.value(i) : m_original.value(i);
    };
    const QVariant id = now(QStringLiteral("ID")), term = now(QStringLiteral("Parola")),
                   definition = now(QStringLiteral("Definizione"));
    TableIndex &index = m_kept->index;
    if (previousId >= 0 && previousId != id.toLongLong())
        index.rowDeleted(previousId);
    index.rowWritten(id.isValid() ? id.toLongLong() : previousId, term, definition);
}

void Recordset::Close()
{
    m_transaction.reset();
    m_cursor.reset();
    m_kept.reset();
    m_columns.clear();
    m_staged.clear();
    m_original.clear();
    m_mode = Mode::Browse;
    m_eof = true;
    m_atFirst = false;
}

TermListing Recordset::termListing(const QString &idField, const QString &termField)
{
    if (!isOpen())
        closed();
    const int id = columnIndex(idField);
    const int term = columnIndex(termField);
    if (m_mode != Mode::Browse || m_eof)
        return TermListing();
    TermListing rows = guarded([&] { return m_cursor->terms(id, term); });
    m_eof = true;
    m_atFirst = false;
    return rows;
}
