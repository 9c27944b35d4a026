#include "db/recordset/Recordset.h"

#include "db/error/DbError.h"
#include "db/glossary/ConnectionTarget.h"
#include "db/glossary/Glossary.h"
#include "db/query/CatalogQuery.h"
#include "db/recordset/ConnectionPool.h"
#include "db/recordset/IndexCursor.h"
#include "db/recordset/StatementCursor.h"
#include "db/sqlite/Statement.h"
#include "db/sqlite/Transaction.h"

namespace {

const QString &columnName(CatalogQuery::Column column)
{
    return glossary::names().columns[column];
}

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
        return glossary::worded(m_kept->connection.file(), std::forward<F>(step));
    } catch (const DbError &) {
        m_transaction.reset();
        ConnectionPool::discard(m_kept);
        throw;
    }
}

void Recordset::Open(const QString &source, const QString &connectionString, int, int, int)
{
    Close();
    const CatalogQuery query = glossary::parse(source);
    auto kept = ConnectionPool::acquire(ConnectionTarget::parse(connectionString));
    try {
        glossary::worded(kept->connection.file(), [&] { run(query, kept); });
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
        kept->index.deleted(query, m_affected);
        // A delete leaves the recordset closed with no rows, as ADO does.
        return;
    }

    if (ConnectionPool::enabled() && TableIndex::answers(query)) {
        kept->loader.refresh(connection, kept->index, TableIndex::readsDefinitions(query));
        m_columns = kept->index.columns();
        m_cursor = std::make_unique<IndexCursor>(connection, kept->index.select(query),
                                                 columnIndex(columnName(CatalogQuery::Id)),
                                                 columnIndex(columnName(CatalogQuery::Term)));
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
    const qsizetype at = glossary::columnAt(m_columns, name);
    if (at < 0)
        throw DbError(DbError::NoSuchField,
                      QStringLiteral("Elemento non trovato nell'insieme: il campo '%1' non esiste.").arg(name));
    return int(at);
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
        m_currentId = m_original.value(columnIndex(columnName(CatalogQuery::Id))).toLongLong();
        m_cursor->release();
        m_mode = Mode::Editing;
    }
    m_staged.insert(index, value);
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
        m_staged.insert(columnIndex(columnName(CatalogQuery::Id)), QVariant(glossary::nextId(m_kept->connection)));
    });
    m_mode = Mode::Adding;
}

void Recordset::UpdateBatch()
{
    if (!isOpen())
        closed();
    if (m_mode == Mode::Browse)
        return;
    if (!guarded([this] { return writeChange(); }))
        throwWhyNotWritten();
    guarded([this] { m_transaction->commit(); });
    m_transaction.reset();
    afterCommit(m_mode == Mode::Editing ? m_currentId : -1);
    m_mode = Mode::Browse;
    m_staged.clear();
    m_original.clear();
    m_eof = true;
}

bool Recordset::writeChange()
{
    Connection &connection = m_kept->connection;
    const QString &table = glossary::names().table;
    QString sql;
    QVariantList values;
    if (m_mode == Mode::Adding) {
        QStringList names, marks;
        for (auto it = m_staged.cbegin(); it != m_staged.cend(); ++it) {
            names.append(QStringLiteral("\"%1\"").arg(m_columns[it.key()]));
            values.append(it.value());
            marks.append(QStringLiteral("?%1").arg(values.size()));
        }
        sql = QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)").arg(table, names.join(u", "), marks.join(u", "));
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
        sql = QStringLiteral("UPDATE \"%1\" SET %2 WHERE %3").arg(table, sets.join(u", "), same.join(u" AND "));
    }
    if (!m_transaction)
        m_transaction = std::make_unique<Transaction>(connection);
    Statement write(connection, sql);
    for (int i = 0; i < values.size(); ++i)
        write.bind(i + 1, values[i]);
    write.step();
    return m_mode == Mode::Adding || connection.changes() == 1;
}

void Recordset::throwWhyNotWritten()
{
    const bool stillThere = guarded([this] { return glossary::hasRow(m_kept->connection, m_currentId); });
    m_transaction.reset();
    if (stillThere)
        throw DbError::changedMeanwhile();
    throw DbError::noCurrentRecord(QStringLiteral("il termine è stato eliminato da un altro programma"));
}

void Recordset::afterCommit(qint64 previousId)
{
    // What the row holds now: the values written, and for a modify the others as they were read.
    QVariantList now;
    for (int i = 0; i < m_columns.size(); ++i)
        now.append(m_staged.contains(i) ? m_staged.value(i) : m_original.value(i));
    const glossary::Entry entry = glossary::entryOf(m_columns, now);
    TableIndex &index = m_kept->index;
    if (previousId >= 0 && previousId != entry.id.toLongLong())
        index.rowDeleted(previousId);
    index.rowWritten(entry.id.isValid() ? entry.id.toLongLong() : previousId, entry.term, entry.definition);
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
