#include "db/search/TableLoader.h"

#include "db/search/TableIndex.h"
#include "db/sqlite/Connection.h"
#include "db/sqlite/Statement.h"

#include <QByteArray>
#include <QScopeGuard>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::optional<QByteArrayView> utf8OrNull(const Statement &stmt, int column)
{
    if (stmt.isNull(column))
        return std::nullopt;
    return stmt.utf8(column);
}

// Rows as the file gave them, copied out of the statement in batches for the other thread.
struct Batch {
    struct Row {
        qint64 id;
        qsizetype term;       // in bytes, -1 for a null
        qsizetype termBytes;
        qsizetype definition; // in bytes, -1 for a null
        qsizetype definitionBytes;
    };
    QByteArray bytes;
    std::vector<Row> rows;

    qsizetype add(const Statement &stmt, int column, qsizetype *size)
    {
        if (stmt.isNull(column)) {
            *size = 0;
            return -1;
        }
        const QByteArrayView text = stmt.utf8(column);
        const qsizetype at = bytes.size();
        bytes.append(text.data(), text.size());
        *size = text.size();
        return at;
    }
    std::optional<QByteArrayView> view(qsizetype at, qsizetype size) const
    {
        if (at < 0)
            return std::nullopt;
        return QByteArrayView(bytes.constData() + at, size);
    }
};

// Batches handed from the reading thread to the filing one; a few at most are in flight.
class BatchQueue {
public:
    void push(Batch batch)
    {
        std::unique_lock lock(m_mutex);
        m_roomLeft.wait(lock, [this] { return m_batches.size() < 4 || m_stopped; });
        m_batches.push_back(std::move(batch));
        m_ready.notify_one();
    }
    // False once the reader has ended and every batch has been taken.
    bool pop(Batch *batch)
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_batches.empty() || m_ended; });
        if (m_batches.empty())
            return false;
        *batch = std::move(m_batches.front());
        m_batches.pop_front();
        m_roomLeft.notify_one();
        return true;
    }
    void end()
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_ready.notify_one();
    }
    // The filing side gave up: the reader must not wait for room.
    void stop()
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_roomLeft.notify_one();
    }
    bool stopped()
    {
        std::lock_guard lock(m_mutex);
        return m_stopped;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready, m_roomLeft;
    std::deque<Batch> m_batches;
    bool m_ended = false;
    bool m_stopped = false;
};

} // namespace

// The table's columns in their stored order, as the recordset names its fields.
QStringList TableLoader::tableColumns(const Connection &connection) const
{
    QStringList columns;
    Statement info(connection, QStringLiteral("PRAGMA table_info(\"%1\")").arg(m_names.table));
    while (info.step())
        columns.append(info.text(1));
    return columns;
}

QString TableLoader::selectSql(std::initializer_list<CatalogQuery::Column> columns) const
{
    QStringList quoted;
    for (const CatalogQuery::Column c : columns)
        quoted.append(QStringLiteral("\"%1\"").arg(m_names.columns[c]));
    // In ID order, the table's own (its ID is its row number), so that the copy finds a row by halving.
    return QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY \"%3\"")
        .arg(quoted.join(u", "), m_names.table, m_names.columns[CatalogQuery::Id]);
}

void TableLoader::refresh(const Connection &connection, TableIndex &index, bool definitions)
{
    Statement version(connection, "PRAGMA data_version");
    version.step();
    const qint64 now = version.integer(0);
    if (now != m_dataVersion || index.worthReloading())
        index.invalidate();
    m_dataVersion = now;
    if (!index.termsLoaded() && definitions)
        loadEverything(connection, index);
    else if (!index.termsLoaded())
        loadTerms(connection, index);
    if (definitions && !index.definitionsLoaded())
        loadDefinitions(connection, index);
}

void TableLoader::loadTerms(const Connection &connection, TableIndex &index)
{
    // A read that fails half-way leaves nothing half-loaded behind.
    auto dropHalfLoaded = qScopeGuard([&] { index.invalidate(); });
    index.beginTerms(tableColumns(connection));
    Statement rows(connection, selectSql({CatalogQuery::Id, CatalogQuery::Term}));
    while (rows.step())
        index.addTerm(rows.integer(0), utf8OrNull(rows, 1));
    index.endTerms();
    dropHalfLoaded.dismiss();
}

void TableLoader::loadEverything(const Connection &connection, TableIndex &index)
{
    auto dropHalfLoaded = qScopeGuard([&] { index.invalidate(); });
    index.beginTerms(tableColumns(connection));

    BatchQueue queue;
    std::exception_ptr readFailure;
    std::thread reader([&] {
        try {
            Statement rows(connection, selectSql({CatalogQuery::Id, CatalogQuery::Term, CatalogQuery::Definition}));
            Batch batch;
            while (rows.step()) {
                Batch::Row row{rows.integer(0), 0, 0, 0, 0};
                row.term = batch.add(rows, 1, &row.termBytes);
                row.definition = batch.add(rows, 2, &row.definitionBytes);
                batch.rows.push_back(row);
                if (batch.bytes.size() >= (1 << 20) || batch.rows.size() >= 4096) {
                    queue.push(std::exchange(batch, Batch()));
                    if (queue.stopped())
                        break;
                }
            }
            if (!batch.rows.empty())
                queue.push(std::move(batch));
        } catch (...) {
            readFailure = std::current_exception();
        }
        queue.end();
    });
    auto joinReader = qScopeGuard([&] {
        queue.stop();
        reader.join();
    });

    Batch batch;
    while (queue.pop(&batch)) {
        for (const Batch::Row &row : batch.rows) {
            const int at = index.addTerm(row.id, batch.view(row.term, row.termBytes));
            index.setDefinitionOfRow(at, batch.view(row.definition, row.definitionBytes));
        }
    }
    joinReader.dismiss();
    reader.join();
    if (readFailure)
        std::rethrow_exception(readFailure);
    index.endTerms();
    index.endDefinitions();
    dropHalfLoaded.dismiss();
}

void TableLoader::loadDefinitions(const Connection &connection, TableIndex &index)
{
    auto dropHalfLoaded = qScopeGuard([&] { index.invalidate(); });
    Statement rows(connection, selectSql({CatalogQuery::Id, CatalogQuery::Definition}));
    while (rows.step())
        index.setDefinition(rows.integer(0), utf8OrNull(rows, 1));
    index.endDefinitions();
    dropHalfLoaded.dismiss();
}
