#include "TableCache.h"

#include "Connection.h"
#include "DbError.h"

#include <QtEndian>
#include <cstdio>

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

using Statement = Connection::Statement;


// The first or last n characters of a folded UTF-8 text, as Left() and Right() count them.
QByteArrayView leftCharacters(QByteArrayView s, qint64 n)
{
    qsizetype i = 0;
    for (; i < s.size() && n > 0; --n) {
        const auto b = static_cast<unsigned char>(s[i]);
        i += b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    }
    return s.first(qMin(i, s.size()));
}

QByteArrayView rightCharacters(QByteArrayView s, qint64 n)
{
    qsizetype i = s.size();
    for (; i > 0 && n > 0; --n) {
        --i;
        while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            --i;
    }
    return s.sliced(i);
}

// The longest run of a pattern that any match must contain verbatim: the cheapest first filter.
QByteArray longestLiteralRun(const QByteArray &folded)
{
    QByteArray best;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        if (i == folded.size() || folded[i] == '%' || folded[i] == '_') {
            if (i - start > best.size())
                best = folded.mid(start, i - start);
            start = i + 1;
        }
    }
    return best;
}

quint64 prefixOf(const char *key, qsizetype size)
{
    unsigned char bytes[8] = {};
    std::memcpy(bytes, key, size_t(qMin<qsizetype>(8, size)));
    return qFromBigEndian<quint64>(bytes);
}

} // namespace

void TableCache::Column::clear()
{
    text.clear();
    starts.clear();
    owners.clear();
}

qsizetype TableCache::Column::append(QByteArrayView folded, int row)
{
    const qsizetype at = text.size();
    text.append(folded.data(), folded.size());
    close(at, row);
    return at;
}

void TableCache::Column::close(qsizetype at, int row)
{
    // A separator no folded text can hold, so a search never runs from one row into the next.
    text.append('\xff');
    starts.push_back(at);
    owners.push_back(row);
}

int TableCache::Column::ownerAt(qsizetype offset) const
{
    const auto it = std::upper_bound(starts.begin(), starts.end(), offset);
    return owners[size_t(it - starts.begin()) - 1];
}

bool TableCache::answers(const JetQuery &query)
{
    if (query.kind != JetQuery::Select || (query.ordered && query.orderBy != JetQuery::Term))
        return false;
    if (query.where.isEmpty())
        return query.ordered;
    bool anyLike = false;
    for (const auto &group : query.where) {
        for (const JetQuery::Predicate &p : group) {
            if (p.operand.column == JetQuery::Id) {
                if (p.isLike || p.operand.function != JetQuery::Operand::Whole)
                    return false;
            } else if (!p.isLike) {
                return false;
            } else {
                anyLike = true;
            }
        }
    }
    return anyLike;
}

void TableCache::invalidate()
{
    m_termsLoaded = false;
    m_definitionsLoaded = false;
    m_rows.clear();
    m_order.clear();
    m_byId.clear();
    m_terms.clear();
    m_keys.clear();
    m_definitions.clear();
    m_dead = 0;
}

void TableCache::refreshIfChanged()
{
    Statement stmt = m_connection.prepare("PRAGMA data_version");
    const int rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW)
        m_connection.fail(rc);
    const qint64 version = sqlite3_column_int64(stmt.get(), 0);
    // Tombstones of this program's own changes are swept by reading afresh once they outweigh the rows.
    if (version != m_dataVersion || m_dead > qsizetype(m_rows.size()) / 2 + 1024)
        invalidate();
    m_dataVersion = version;
}

const QStringList &TableCache::columns()
{
    return m_columns;
}

void TableCache::loadTerms()
{
    invalidate();
    m_columns.clear();
    {
        Statement info = m_connection.prepare("PRAGMA table_info(\"Tbl_Zorvane\")");
        int rc;
        while ((rc = sqlite3_step(info.get())) == SQLITE_ROW)
            m_columns.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 1))));
        if (rc != SQLITE_DONE)
            m_connection.fail(rc);
    }

    // Each term goes straight into the folded column and the key buffer: no text of its own per row.
    Statement stmt = m_connection.prepare("SELECT \"ID\", \"Parola\" FROM \"Tbl_Zorvane\"");
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        const int index = int(m_rows.size());
        Row row;
        row.id = sqlite3_column_int64(stmt.get(), 0);
        if (sqlite3_column_type(stmt.get(), 1) != SQLITE_NULL) {
            const QByteArrayView utf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), 1)),
                                      sqlite3_column_bytes(stmt.get(), 1));
            row.term = QString::fromUtf8(utf8);
            row.termAt = m_terms.text.size();
            TextMatch::appendFoldedUtf8(m_terms.text, utf8);
            row.termBytes = m_terms.text.size() - row.termAt;
            m_terms.close(row.termAt, index);
        }
        row.keyAt = m_keys.size();
        TextMatch::appendSortKey(m_keys, row.term);
        row.keyBytes = m_keys.size() - row.keyAt;
        row.keyPrefix = row.termAt < 0 ? 0 : prefixOf(m_keys.constData() + row.keyAt, row.keyBytes);
        m_byId.insert(row.id, index);
        m_rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        invalidate();
        m_connection.fail(rc);
    }
    m_order.clear();
    m_order.reserve(m_rows.size());
    for (int i = 0; i < int(m_rows.size()); ++i)
        m_order.push_back(i);
    std::sort(m_order.begin(), m_order.end(), [this](int a, int b) { return lessInOrder(a, b); });
    m_termsLoaded = true;
}

void TableCache::loadDefinitions()
{
    m_definitions.clear();
    Statement stmt = m_connection.prepare("SELECT \"ID\", \"Definizione\" FROM \"Tbl_Zorvane\"");
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        const auto it = m_byId.constFind(sqlite3_column_int64(stmt.get(), 0));
        if (it == m_byId.constEnd())
            continue;
        Row &row = m_rows[size_t(*it)];
        if (sqlite3_column_type(stmt.get(), 1) == SQLITE_NULL) {
            row.definitionAt = -1;
            continue;
        }
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), 1));
        const QByteArray folded = TextMatch::foldUtf8(QByteArrayView(p, sqlite3_column_bytes(stmt.get(), 1)));
        row.definitionAt = m_definitions.append(folded, *it);
        row.definitionBytes = folded.size();
    }
    if (rc != SQLITE_DONE) {
        invalidate();
        m_connection.fail(rc);
    }
    m_definitionsLoaded = true;
}

int TableCache::addRow(qint64 id, const QVariant &term)
{
    const QString text = term.toString();
    return addRow(id, text, term.isNull(), TextMatch::fold(text), TextMatch::sortKey(text));
}

int TableCache::addRow(qint64 id, QString term, bool isNull, const QByteArray &folded, const QByteArray &key)
{
    const int index = int(m_rows.size());
    Row row;
    row.id = id;
    if (!isNull) {
        row.termAt = m_terms.append(folded, index);
        row.termBytes = folded.size();
    }
    row.keyAt = m_keys.size();
    row.keyBytes = key.size();
    m_keys.append(key);
    // A null sorts before every text, as in SQLite.
    row.keyPrefix = isNull ? 0 : prefixOf(key.constData(), key.size());
    row.term = std::move(term);
    m_rows.push_back(std::move(row));
    m_byId.insert(id, index);
    return index;
}

void TableCache::setDefinition(int index, const QVariant &definition)
{
    Row &row = m_rows[size_t(index)];
    if (definition.isNull()) {
        row.definitionAt = -1;
        return;
    }
    const QByteArray folded = TextMatch::fold(definition.toString());
    row.definitionAt = m_definitions.append(folded, index);
    row.definitionBytes = folded.size();
}

bool TableCache::lessInOrder(int a, int b) const
{
    const Row &ra = m_rows[size_t(a)];
    const Row &rb = m_rows[size_t(b)];
    const bool nullA = ra.termAt < 0, nullB = rb.termAt < 0;
    if (nullA != nullB)
        return nullA;
    if (ra.keyPrefix != rb.keyPrefix)
        return ra.keyPrefix < rb.keyPrefix;
    const int c = std::memcmp(m_keys.constData() + ra.keyAt, m_keys.constData() + rb.keyAt,
                              size_t(qMin(ra.keyBytes, rb.keyBytes)));
    if (c != 0)
        return c < 0;
    if (ra.keyBytes != rb.keyBytes)
        return ra.keyBytes < rb.keyBytes;
    return ra.id < rb.id;
}

void TableCache::insertInOrder(int row)
{
    const auto at = std::lower_bound(m_order.begin(), m_order.end(), row,
                                     [this](int a, int b) { return lessInOrder(a, b); });
    m_order.insert(at, row);
}

void TableCache::removeFromOrder(int row)
{
    auto at = std::lower_bound(m_order.begin(), m_order.end(), row,
                               [this](int a, int b) { return lessInOrder(a, b); });
    if (at != m_order.end() && *at == row)
        m_order.erase(at);
}

void TableCache::rowWritten(qint64 id, const QVariant &term, const QVariant &definition)
{
    if (!m_termsLoaded)
        return;
    rowDeleted(id);
    const int index = addRow(id, term);
    if (m_definitionsLoaded)
        setDefinition(index, definition);
    insertInOrder(index);
}

void TableCache::rowDeleted(qint64 id)
{
    if (!m_termsLoaded)
        return;
    const auto it = m_byId.find(id);
    if (it == m_byId.end())
        return;
    const int index = *it;
    removeFromOrder(index);
    m_rows[size_t(index)].alive = false;
    m_byId.erase(it);
    ++m_dead;
}

QByteArrayView TableCache::view(const Row &row, JetQuery::Column column) const
{
    if (column == JetQuery::Term)
        return QByteArrayView(m_terms.text.constData() + row.termAt, row.termBytes);
    return QByteArrayView(m_definitions.text.constData() + row.definitionAt, row.definitionBytes);
}

bool TableCache::matchesGroup(const Row &row, const QList<JetQuery::Predicate> &group,
                              const std::vector<TextMatch::FoldedPattern> &patterns) const
{
    for (qsizetype i = 0; i < group.size(); ++i) {
        const JetQuery::Predicate &p = group[i];
        if (p.operand.column == JetQuery::Id) {
            if (row.id != p.number)
                return false;
            continue;
        }
        const qsizetype at = p.operand.column == JetQuery::Term ? row.termAt : row.definitionAt;
        if (at < 0)
            return false; // like on a null is never true
        QByteArrayView text = view(row, p.operand.column);
        if (p.operand.function == JetQuery::Operand::Left)
            text = leftCharacters(text, p.operand.count);
        else if (p.operand.function == JetQuery::Operand::Right)
            text = rightCharacters(text, p.operand.count);
        if (!patterns[size_t(i)].matches(text))
            return false;
    }
    return true;
}

QList<TableCache::Hit> TableCache::select(const JetQuery &query)
{
    refreshIfChanged();
    if (!m_termsLoaded)
        loadTerms();
    bool needsDefinitions = false;
    for (const auto &group : query.where)
        for (const auto &p : group)
            needsDefinitions |= p.operand.column == JetQuery::Definition;
    if (needsDefinitions && !m_definitionsLoaded)
        loadDefinitions();

    std::vector<char> matched;
    if (!query.where.isEmpty()) {
        matched.assign(m_rows.size(), 0);
        for (const auto &group : query.where) {
            std::vector<TextMatch::FoldedPattern> patterns;
            const Column *filterColumn = nullptr;
            QByteArray filter;
            for (const JetQuery::Predicate &p : group) {
                patterns.emplace_back(p.pattern);
                if (p.isLike && p.operand.function == JetQuery::Operand::Whole) {
                    QByteArray run = longestLiteralRun(TextMatch::fold(p.pattern));
                    if (run.size() > filter.size()) {
                        filter = run;
                        filterColumn = p.operand.column == JetQuery::Term ? &m_terms : &m_definitions;
                    }
                }
            }
            if (filterColumn) {
                // One pass of a substring search over the whole column finds every candidate row.
                const QByteArray &text = filterColumn->text;
                qsizetype from = 0;
                while (from < text.size()) {
                    const void *found = memmem(text.constData() + from, size_t(text.size() - from),
                                               filter.constData(), size_t(filter.size()));
                    if (!found)
                        break;
                    const qsizetype at = static_cast<const char *>(found) - text.constData();
                    const int owner = filterColumn->ownerAt(at);
                    const Row &row = m_rows[size_t(owner)];
                    if (row.alive && !matched[size_t(owner)] && matchesGroup(row, group, patterns))
                        matched[size_t(owner)] = 1;
                    const qsizetype end = text.indexOf('\xff', at);
                    from = end < 0 ? text.size() : end + 1;
                }
            } else {
                for (size_t i = 0; i < m_rows.size(); ++i) {
                    if (m_rows[i].alive && !matched[i] && matchesGroup(m_rows[i], group, patterns))
                        matched[i] = 1;
                }
            }
        }
    }

    QList<Hit> hits;
    if (query.ordered) {
        for (int index : m_order) {
            if (matched.empty() || matched[size_t(index)]) {
                const Row &row = m_rows[size_t(index)];
                hits.append({row.id, row.term, row.termAt < 0});
            }
        }
    } else {
        for (size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].alive && (matched.empty() || matched[i]))
                hits.append({m_rows[i].id, m_rows[i].term, m_rows[i].termAt < 0});
        }
        std::sort(hits.begin(), hits.end(), [](const Hit &a, const Hit &b) { return a.id < b.id; });
    }
    return hits;
}
