#include "TableIndex.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

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

void TableIndex::Column::clear()
{
    text.clear();
    starts.clear();
    owners.clear();
}

qsizetype TableIndex::Column::append(QByteArrayView folded, int row)
{
    const qsizetype at = text.size();
    text.append(folded.data(), folded.size());
    close(at, row);
    return at;
}

void TableIndex::Column::close(qsizetype at, int row)
{
    // A separator no folded text can hold, so a search never runs from one row into the next.
    text.append('\xff');
    starts.push_back(at);
    owners.push_back(row);
}

int TableIndex::Column::ownerAt(qsizetype offset) const
{
    const auto it = std::upper_bound(starts.begin(), starts.end(), offset);
    return owners[size_t(it - starts.begin()) - 1];
}

bool TableIndex::answers(const JetQuery &query)
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

void TableIndex::invalidate()
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

void TableIndex::beginTerms(QStringList columns)
{
    invalidate();
    m_columns = std::move(columns);
}

int TableIndex::addTerm(qint64 id, std::optional<QByteArrayView> utf8)
{
    // Each term goes straight into the folded column and the key buffer: no text of its own per row.
    const int index = int(m_rows.size());
    Row row;
    row.id = id;
    if (utf8) {
        row.term = QString::fromUtf8(*utf8);
        row.termAt = m_terms.text.size();
        TextMatch::appendFoldedUtf8(m_terms.text, *utf8);
        row.termBytes = m_terms.text.size() - row.termAt;
        m_terms.close(row.termAt, index);
    }
    row.keyAt = m_keys.size();
    TextMatch::appendSortKey(m_keys, row.term);
    row.keyBytes = m_keys.size() - row.keyAt;
    row.keyPrefix = row.termAt < 0 ? 0 : prefixOf(m_keys.constData() + row.keyAt, row.keyBytes);
    m_byId.insert(row.id, index);
    m_rows.push_back(std::move(row));
    return index;
}

void TableIndex::endTerms()
{
    m_order.clear();
    m_order.reserve(m_rows.size());
    for (int i = 0; i < int(m_rows.size()); ++i)
        m_order.push_back(i);
    std::sort(m_order.begin(), m_order.end(), [this](int a, int b) { return lessInOrder(a, b); });
    m_termsLoaded = true;
}

void TableIndex::setDefinition(qint64 id, std::optional<QByteArrayView> utf8)
{
    const auto it = m_byId.constFind(id);
    if (it != m_byId.constEnd())
        setDefinitionOfRow(*it, utf8);
}

void TableIndex::setDefinitionOfRow(int index, std::optional<QByteArrayView> utf8)
{
    Row &row = m_rows[size_t(index)];
    if (!utf8) {
        row.definitionAt = -1;
        return;
    }
    // Folded straight into the shared buffer, as the terms are.
    row.definitionAt = m_definitions.text.size();
    TextMatch::appendFoldedUtf8(m_definitions.text, *utf8);
    row.definitionBytes = m_definitions.text.size() - row.definitionAt;
    m_definitions.close(row.definitionAt, index);
}

void TableIndex::endDefinitions()
{
    m_definitionsLoaded = true;
}

int TableIndex::addRow(qint64 id, const QVariant &term)
{
    const QString text = term.toString();
    return addRow(id, text, term.isNull(), TextMatch::fold(text), TextMatch::sortKey(text));
}

int TableIndex::addRow(qint64 id, QString term, bool isNull, const QByteArray &folded, const QByteArray &key)
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

void TableIndex::setDefinitionOf(int index, const QVariant &definition)
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

bool TableIndex::lessInOrder(int a, int b) const
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

void TableIndex::insertInOrder(int row)
{
    const auto at = std::lower_bound(m_order.begin(), m_order.end(), row,
                                     [this](int a, int b) { return lessInOrder(a, b); });
    m_order.insert(at, row);
}

void TableIndex::removeFromOrder(int row)
{
    auto at = std::lower_bound(m_order.begin(), m_order.end(), row,
                               [this](int a, int b) { return lessInOrder(a, b); });
    if (at != m_order.end() && *at == row)
        m_order.erase(at);
}

void TableIndex::rowWritten(qint64 id, const QVariant &term, const QVariant &definition)
{
    if (!m_termsLoaded)
        return;
    rowDeleted(id);
    const int index = addRow(id, term);
    if (m_definitionsLoaded)
        setDefinitionOf(index, definition);
    insertInOrder(index);
}

void TableIndex::rowDeleted(qint64 id)
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

QByteArrayView TableIndex::view(const Row &row, JetQuery::Column column) const
{
    if (column == JetQuery::Term)
        return QByteArrayView(m_terms.text.constData() + row.termAt, row.termBytes);
    return QByteArrayView(m_definitions.text.constData() + row.definitionAt, row.definitionBytes);
}

bool TableIndex::matchesGroup(const Row &row, const QList<JetQuery::Predicate> &group,
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
            text = TextMatch::leftCharacters(text, p.operand.count);
        else if (p.operand.function == JetQuery::Operand::Right)
            text = TextMatch::rightCharacters(text, p.operand.count);
        if (!patterns[size_t(i)].matches(text))
            return false;
    }
    return true;
}

bool TableIndex::readsDefinitions(const JetQuery &query)
{
    for (const auto &group : query.where)
        for (const auto &p : group)
            if (p.operand.column == JetQuery::Definition)
                return true;
    return false;
}

QList<TableIndex::Hit> TableIndex::select(const JetQuery &query) const
{
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
