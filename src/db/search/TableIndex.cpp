#include "db/search/TableIndex.h"

#include "db/search/TwoCores.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
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

// Every run of a folded pattern between its wildcards.
QList<QByteArray> literalRuns(const QByteArray &folded)
{
    QList<QByteArray> runs;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        if (i == folded.size() || folded[i] == '%' || folded[i] == '_') {
            if (i > start)
                runs.append(folded.mid(start, i - start));
            start = i + 1;
        }
    }
    return runs;
}

bool blocksUsed = true;

// Whether every text that `wider` finds is also found by `narrower`: "%X%" holds for any text that
// holds a stretch matching X, which a pattern with X in the middle of it demands.
bool implies(const QByteArray &narrower, const QByteArray &wider)
{
    if (narrower == wider)
        return true;
    if (wider.size() < 2 || !wider.startsWith('%') || !wider.endsWith('%'))
        return false;
    return narrower.contains(QByteArrayView(wider).sliced(1, wider.size() - 2));
}

// A search narrows the previous one when each previous condition is implied by one of its own on the
// same whole column.
bool narrows(const QList<CatalogQuery::Predicate> &now, const QList<CatalogQuery::Predicate> &before)
{
    const auto plain = [](const CatalogQuery::Predicate &p) {
        return p.isLike && p.operand.column != CatalogQuery::Id && p.operand.function == CatalogQuery::Operand::Whole;
    };
    for (const CatalogQuery::Predicate &b : before) {
        if (!plain(b))
            return false;
        const QByteArray wider = TextMatch::fold(b.pattern);
        bool implied = false;
        for (const CatalogQuery::Predicate &n : now) {
            if (plain(n) && n.operand.column == b.operand.column && implies(TextMatch::fold(n.pattern), wider)) {
                implied = true;
                break;
            }
        }
        if (!implied)
            return false;
    }
    return true;
}

using TwoCores::inTwoHalves;
using TwoCores::SplitBytes;
// Below this many rows a second thread costs more than it saves.
constexpr size_t SplitRows = 100000;
// Terms to sort, from which each core sorts half.
constexpr size_t SplitSort = 50000;

// The first sixteen bytes of a key followed by its term, as two numbers that order as those bytes do.
std::pair<quint64, quint64> prefixOf(QByteArrayView key, QByteArrayView term)
{
    unsigned char bytes[16] = {};
    const size_t fromKey = size_t(qMin<qsizetype>(16, key.size()));
    std::memcpy(bytes, key.data(), fromKey);
    std::memcpy(bytes + fromKey, term.data(), size_t(qMin<qsizetype>(16 - qsizetype(fromKey), term.size())));
    return {qFromBigEndian<quint64>(bytes), qFromBigEndian<quint64>(bytes + 8)};
}

// The bits set in x, without the instruction that not every processor this runs on has.
inline int bitCount(quint32 x)
{
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0fu;
    return int((x * 0x01010101u) >> 24);
}

} // namespace

class TableIndex::TermCopier {
public:
    TermCopier(Column &into, const Column &from)
        : m_into(into), m_readable(from.text.constData() + from.text.size()), m_used(into.text.size())
    {
    }
    // `term` lies in `from`, followed by its separator, which is copied with it.
    void append(QByteArrayView term, int owner)
    {
        const qsizetype size = term.size() + 1;
        if (m_used + qMax<qsizetype>(size, Block) > m_room)
            makeRoom(size);
        char *const out = m_base + m_used;
        if (size <= Block && m_readable - term.data() >= Block)
            std::memcpy(out, term.data(), Block); // what lies past the separator is overwritten next
        else
            std::memcpy(out, term.data(), size_t(size));
        m_into.starts.push_back(m_used);
        m_into.owners.push_back(owner);
        m_used += size;
    }
    void finish() { m_into.text.resize(m_used); }

private:
    static constexpr qsizetype Block = 32;
    void makeRoom(qsizetype size)
    {
        // Past the bytes asked for, QByteArray grows by doubling: take all the room it made.
        m_into.text.resize(m_used + size + Block);
        m_into.text.resize(qMax(m_into.text.size(), m_into.text.capacity()));
        m_base = m_into.text.data();
        m_room = m_into.text.size();
    }
    Column &m_into;
    const char *const m_readable;
    qsizetype m_used;
    char *m_base = nullptr;
    qsizetype m_room = 0;
};

class TableIndex::TermCompactor {
public:
    // Before the column is read: its text must not move once it is.
    explicit TermCompactor(Column &column) : m_column(column), m_base(column.text.data()) {}
    // `term` lies in the column, followed by its separator, after every term kept before it.
    void keep(QByteArrayView term, int owner)
    {
        const qsizetype size = term.size() + 1;
        char *const out = m_base + m_used;
        if (out != term.data())
            std::memmove(out, term.data(), size_t(size));
        // What was here has been read: a piece's start and owner are read before its text is reported.
        m_column.starts[m_kept] = m_used;
        m_column.owners[m_kept] = owner;
        ++m_kept;
        m_used += size;
    }
    void finish()
    {
        m_column.text.resize(m_used);
        m_column.starts.resize(m_kept);
        m_column.owners.resize(m_kept);
    }

private:
    Column &m_column;
    char *const m_base;
    qsizetype m_used = 0;
    size_t m_kept = 0;
};

void TableIndex::Column::clear()
{
    text.clear();
    starts.clear();
    owners.clear();
}

void TableIndex::Column::append(QByteArrayView folded, int row)
{
    const qsizetype at = text.size();
    text.resize(at + folded.size());
    std::memcpy(text.data() + at, folded.data(), size_t(folded.size()));
    close(at, row);
}

void TableIndex::Column::close(qsizetype at, int row)
{
    // A separator no folded text can hold, so a search never runs from one row into the next.
    text.append('\xff');
    starts.push_back(at);
    owners.push_back(row);
}

size_t TableIndex::Column::pieceAt(qsizetype offset) const
{
    return size_t(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin()) - 1;
}

bool TableIndex::answers(const CatalogQuery &query)
{
    if (query.kind != CatalogQuery::Select || (query.ordered && query.orderBy != CatalogQuery::Term))
        return false;
    if (query.where.isEmpty())
        return query.ordered;
    bool anyLike = false;
    for (const auto &group : query.where) {
        for (const CatalogQuery::Predicate &p : group) {
            if (p.operand.column == CatalogQuery::Id) {
                if (p.isLike || p.operand.function != CatalogQuery::Operand::Whole)
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

void TableIndex::changed()
{
    m_everyRow.reset();
    m_rank.clear();
    m_termPlaces.clear();
    m_last = LastSearch();
}

void TableIndex::invalidate()
{
    changed();
    m_termsLoaded = false;
    m_definitionsLoaded = false;
    m_termPieces.clear();
    m_definitionPieces.clear();
    m_alive.clear();
    m_order.clear();
    m_loadedRows = 0;
    m_writtenById.clear();
    m_nextDefinitionRow = 0;
    m_loadKeys = LoadKeys();
    m_shown = std::make_shared<TermListing::Table>();
    m_terms.clear();
    m_definitions.clear();
    m_definitionBlocks.clear();
    m_termRuns.clear();
    m_dead = 0;
}

void TableIndex::setDefinitionBlocksUsed(bool used)
{
    blocksUsed = used;
}

void TableIndex::beginTerms(QStringList columns)
{
    invalidate();
    m_columns = std::move(columns);
}

int TableIndex::addTerm(qint64 id, std::optional<QByteArrayView> utf8)
{
    // Each term goes straight into the folded column, the shown text and the key buffer: no text of its
    // own per row.
    TermListing::Table &table = *m_shown;
    const qsizetype textAt = table.text.size();
    int piece = -1;
    if (utf8) {
        piece = int(m_terms.starts.size());
        const qsizetype at = m_terms.text.size();
        TextMatch::appendFoldedUtf8(m_terms.text, *utf8);
        m_terms.close(at, rowCount());
        // The key's last part, the term re-encoded, is the text shown: the same bytes as stored unless
        // the file held text that is not UTF-8.
        QByteArray &key = m_loadKeys.key;
        key.truncate(0);
        TextMatch::appendSortKey(key, table.text, QString::fromUtf8(*utf8));
        m_loadKeys.keyed.push_back({prefixOf(key, QByteArrayView(table.text).sliced(textAt)), rowCount()});
    }
    table.added(id, utf8 ? std::optional(textAt) : std::nullopt);
    return pushRow(piece);
}

int TableIndex::pushRow(int termPiece)
{
    m_termPieces.push_back(termPiece);
    m_definitionPieces.push_back(-1);
    m_alive.push_back(1);
    return rowCount() - 1;
}

void TableIndex::endTerms()
{
    m_loadedRows = rowCount();
    Q_ASSERT(std::is_sorted(m_shown->entries.begin(), m_shown->entries.end(),
                            [](const auto &a, const auto &b) { return a.id < b.id; }));
    const TermListing::Table &table = *m_shown;
    // A null sorts before every text, as in SQLite; null terms come first, in ID order as they were read.
    m_order.clear();
    m_order.reserve(size_t(m_loadedRows));
    for (int i = 0; i < m_loadedRows; ++i) {
        if (table.isNull(size_t(i)))
            m_order.push_back(i);
    }
    using Keyed = LoadKeys::Keyed;
    std::vector<Keyed> &keyed = m_loadKeys.keyed;
    const auto less = [&](const Keyed &a, const Keyed &b) {
        return a.prefix != b.prefix ? a.prefix < b.prefix : before(placeOf(a.row), placeOf(b.row));
    };
    // Each core sorts half, and the halves are merged into the order.
    const auto end = keyed.end();
    const auto middle = keyed.size() >= SplitSort ? keyed.begin() + qsizetype(keyed.size() / 2) : end;
    if (middle != end)
        inTwoHalves([&](int half) { half == 0 ? std::sort(keyed.begin(), middle, less) : std::sort(middle, end, less); });
    else
        std::sort(keyed.begin(), end, less);
    for (auto a = keyed.begin(), b = middle; a != middle || b != end;)
        m_order.push_back(b == end || (a != middle && !less(*b, *a)) ? (a++)->row : (b++)->row);
    m_loadKeys = LoadKeys();
    m_termRuns.build(m_terms.text, m_terms.starts);
    m_termsLoaded = true;
    changed();
}

int TableIndex::rowOf(qint64 id) const
{
    const auto written = m_writtenById.constFind(id);
    if (written != m_writtenById.constEnd())
        return *written;
    const auto &entries = m_shown->entries;
    const auto loadedEnd = entries.begin() + m_loadedRows;
    const auto at = std::lower_bound(entries.begin(), loadedEnd, id,
                                     [](const TermListing::Table::Entry &e, qint64 wanted) { return e.id < wanted; });
    if (at == loadedEnd || at->id != id)
        return -1;
    const int row = int(at - entries.begin());
    return m_alive[size_t(row)] ? row : -1;
}

void TableIndex::setDefinition(qint64 id, std::optional<QByteArrayView> utf8)
{
    const int next = m_nextDefinitionRow;
    const int row = next < m_loadedRows && idOf(next) == id && m_alive[size_t(next)] ? next : rowOf(id);
    if (row < 0)
        return;
    if (row < m_loadedRows)
        m_nextDefinitionRow = row + 1;
    setDefinitionOfRow(row, utf8);
}

void TableIndex::setDefinitionOfRow(int index, std::optional<QByteArrayView> utf8)
{
    if (!utf8) {
        m_definitionPieces[size_t(index)] = -1;
        return;
    }
    // Folded straight into the shared buffer, as the terms are.
    m_definitionPieces[size_t(index)] = int(m_definitions.starts.size());
    const qsizetype at = m_definitions.text.size();
    TextMatch::appendFoldedUtf8(m_definitions.text, *utf8);
    m_definitions.close(at, index);
}

void TableIndex::endDefinitions()
{
    // Built here, as the copy is read, so that the first definition search is as quick as any later one.
    m_definitionBlocks.build(m_definitions.text, m_definitions.starts);
    m_definitionsLoaded = true;
    changed();
    // So are the places that put a search's finds in order.
    rankRows();
}

int TableIndex::addRow(qint64 id, const QVariant &term)
{
    const int index = rowCount();
    m_shown->add(id, term);
    int piece = -1;
    if (!term.isNull()) {
        piece = int(m_terms.starts.size());
        const QByteArray folded = TextMatch::fold(term.toString());
        m_terms.append(folded, index);
        m_termRuns.add(folded);
    }
    m_writtenById.insert(id, index);
    return pushRow(piece);
}

void TableIndex::setDefinitionOf(int index, const QVariant &definition)
{
    if (definition.isNull()) {
        m_definitionPieces[size_t(index)] = -1;
        return;
    }
    const QByteArray folded = TextMatch::fold(definition.toString());
    m_definitionPieces[size_t(index)] = int(m_definitions.starts.size());
    m_definitions.append(folded, index);
    if (m_definitionsLoaded)
        m_definitionBlocks.add(folded);
}

TableIndex::Place TableIndex::placeOf(int row) const
{
    const bool null = m_shown->isNull(size_t(row));
    return Place{null, null ? QByteArray() : keyOf(row), idOf(row)};
}

QByteArray TableIndex::keyOf(int row) const
{
    return TextMatch::sortKey(QString::fromUtf8(m_shown->utf8(size_t(row))));
}

bool TableIndex::before(const Place &a, const Place &b)
{
    if (a.null != b.null)
        return a.null;
    if (a.key != b.key)
        return a.key < b.key;
    return a.id < b.id;
}

void TableIndex::insertInOrder(int row)
{
    // The keys were let go after the sort: each row met on the way is keyed again, a few dozen at most.
    const Place place = placeOf(row);
    const auto at = std::lower_bound(m_order.begin(), m_order.end(), place,
                                     [this](int other, const Place &p) { return before(placeOf(other), p); });
    m_order.insert(at, row);
}

void TableIndex::removeFromOrder(int row)
{
    const Place place = placeOf(row);
    auto at = std::lower_bound(m_order.begin(), m_order.end(), place,
                               [this](int other, const Place &p) { return before(placeOf(other), p); });
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
    changed();
}

void TableIndex::rowDeleted(qint64 id)
{
    if (!m_termsLoaded)
        return;
    const int index = rowOf(id);
    if (index < 0)
        return;
    removeFromOrder(index);
    m_alive[size_t(index)] = 0;
    m_writtenById.remove(id);
    ++m_dead;
    changed();
}

void TableIndex::deleted(const CatalogQuery &query, qint64 rowsAffected)
{
    const bool byId = query.where.size() == 1 && query.where[0].size() == 1 &&
                      query.where[0][0].operand.column == CatalogQuery::Id && !query.where[0][0].isLike;
    if (byId)
        rowDeleted(query.where[0][0].number);
    else if (rowsAffected > 0)
        invalidate();
}

TableIndex::Plan::Plan(const QList<CatalogQuery::Predicate> &group, const TableIndex &index)
{
    for (const CatalogQuery::Predicate &p : group) {
        patterns.emplace_back(p.pattern);
        // Left() and Right() are parts of the definition: what they must hold, it holds.
        if (p.isLike && p.operand.column == CatalogQuery::Definition)
            definitionRuns.append(literalRuns(TextMatch::fold(p.pattern)));
        if (p.isLike && p.operand.function == CatalogQuery::Operand::Whole) {
            QByteArray run = longestLiteralRun(TextMatch::fold(p.pattern));
            if (!filterColumn || run.size() > filter.size()) {
                filter = run;
                filterColumn = p.operand.column == CatalogQuery::Term ? &index.m_terms : &index.m_definitions;
                decided = patterns.back().isContains() ? qsizetype(patterns.size() - 1) : -1;
            }
        }
    }
}

bool TableIndex::matchesGroup(int row, const QList<CatalogQuery::Predicate> &group, const Plan &plan,
                              std::optional<QByteArrayView> term) const
{
    for (qsizetype i = 0; i < group.size(); ++i) {
        if (i == plan.decided)
            continue;
        const CatalogQuery::Predicate &p = group[i];
        if (p.operand.column == CatalogQuery::Id) {
            if (idOf(row) != p.number)
                return false;
            continue;
        }
        QByteArrayView text;
        if (p.operand.column == CatalogQuery::Term && term) {
            text = *term;
        } else {
            const bool isTerm = p.operand.column == CatalogQuery::Term;
            const int piece = (isTerm ? m_termPieces : m_definitionPieces)[size_t(row)];
            if (piece < 0)
                return false; // like on a null is never true
            text = (isTerm ? m_terms : m_definitions).piece(piece);
        }
        if (p.operand.function == CatalogQuery::Operand::Left)
            text = TextMatch::leftCharacters(text, p.operand.count);
        else if (p.operand.function == CatalogQuery::Operand::Right)
            text = TextMatch::rightCharacters(text, p.operand.count);
        if (!plan.patterns[size_t(i)].matches(text))
            return false;
    }
    return true;
}

bool TableIndex::readsDefinitions(const CatalogQuery &query)
{
    for (const auto &group : query.where)
        for (const auto &p : group)
            if (p.operand.column == CatalogQuery::Definition)
                return true;
    return false;
}

template<typename Found>
void TableIndex::findPieces(const Column &column, const Plan &plan, qsizetype from, qsizetype to, Found &&found) const
{
    if (from >= to)
        return;
    const char *const begin = column.text.constData();
    // The piece that holds offset `at`, kept by counting the separators passed, so a find needs no search.
    size_t piece = column.pieceAt(from);
    // Reports the piece and answers where the next one starts: the rest of this one need not be read.
    const auto report = [&](size_t index) {
        const qsizetype start = column.starts[index];
        const qsizetype next = column.endOf(index);
        found(index, QByteArrayView(begin + start, next - 1 - start));
        return next;
    };
    const quint64 *const holding = &column == &m_terms && m_termRuns.pieces() == column.starts.size()
                                       ? m_termRuns.piecesHolding(plan.filter)
                                       : nullptr;
    if (holding) {
        // The finds are read off the bitmap of the pieces that hold the filter, in order.
        const size_t end = to >= column.text.size() ? column.starts.size() : column.pieceAt(to);
        // The text is read only at the finds, which the processor cannot foresee: it is asked for ahead,
        // up to the pieces of the third word of bits on.
        qsizetype asked = column.starts[piece];
        for (size_t word = piece / 64; word * 64 < end; ++word) {
            const qsizetype ahead = (word + 3) * 64 < end ? column.starts[(word + 3) * 64] : to;
            for (; asked < ahead; asked += 64)
                __builtin_prefetch(begin + asked);
            quint64 bits = holding[word];
            if (word == piece / 64)
                bits &= ~quint64(0) << (piece % 64);
            if (end - word * 64 < 64)
                bits &= (quint64(1) << (end - word * 64)) - 1;
            for (; bits; bits &= bits - 1)
                report(word * 64 + size_t(std::countr_zero(bits)));
        }
        return;
    }
    const char *const needle = plan.filter.constData();
    const qsizetype size = plan.filter.size();
    if (size == 0) {
        // An empty filter finds every piece.
        for (; piece < column.starts.size() && column.starts[piece] < to; ++piece)
            report(piece);
        return;
    }
    qsizetype at = from;
    const qsizetype limit = to - size + 1; // the last place a match can start, plus one
#ifdef __SSE2__
    const __m128i firsts = _mm_set1_epi8(needle[0]);
    const __m128i lasts = _mm_set1_epi8(needle[size - 1]);
    const __m128i separators = _mm_set1_epi8('\xff');
    // The separators of the blocks passed since `piece` was last brought up to date, counted in each
    // byte's lane, which holds up to 255: summed into `piece` at a find and every 127 blocks.
    __m128i passed = _mm_setzero_si128();
    int blocks = 0;
    const auto catchUp = [&] {
        const __m128i sums = _mm_sad_epu8(passed, _mm_setzero_si128());
        piece += size_t(_mm_cvtsi128_si32(sums)) + size_t(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
        passed = _mm_setzero_si128();
        blocks = 0;
    };
    while (limit - at >= 32) {
        const char *const block = begin + at;
        const __m128i heads0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block));
        const __m128i heads1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16));
        const __m128i tails0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + size - 1));
        const __m128i tails1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + size + 15));
        quint32 candidates =
            quint32(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(heads0, firsts), _mm_cmpeq_epi8(tails0, lasts)))) |
            quint32(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(heads1, firsts), _mm_cmpeq_epi8(tails1, lasts))))
                << 16;
        const __m128i ends0 = _mm_cmpeq_epi8(heads0, separators);
        const __m128i ends1 = _mm_cmpeq_epi8(heads1, separators);
        bool jumped = false;
        while (candidates) {
            const int i = std::countr_zero(candidates);
            if (!TextMatch::detail::sameMiddle(block + i, needle, size_t(size))) {
                candidates &= candidates - 1;
                continue;
            }
            // No filter holds a separator, so no find spans two pieces.
            catchUp();
            const quint32 ends = quint32(_mm_movemask_epi8(ends0)) | quint32(_mm_movemask_epi8(ends1)) << 16;
            const size_t hit = piece + size_t(bitCount(ends & ((quint32(1) << i) - 1)));
            const qsizetype resume = report(hit);
            if (resume >= at + 32) {
                at = resume;
                piece = hit + 1;
                jumped = true;
                break;
            }
            candidates &= ~quint32(0) << (resume - at);
        }
        if (jumped)
            continue;
        passed = _mm_sub_epi8(_mm_sub_epi8(passed, ends0), ends1);
        if (++blocks == 127)
            catchUp();
        at += 32;
    }
    catchUp();
#endif
    for (; at < limit; ++at) {
        if (begin[at] == '\xff') {
            ++piece;
        } else if (begin[at] == needle[0] && begin[at + size - 1] == needle[size - 1] &&
                   TextMatch::detail::sameMiddle(begin + at, needle, size_t(size))) {
            at = report(piece) - 1; // on the separator, which the loop steps over
            ++piece;
        }
    }
}

namespace {

// Where to cut a column in two for the two cores: just after a piece ends, since no filter holds the
// separator and so no find spans the cut.
qsizetype middleOf(const QByteArray &text)
{
    const qsizetype half = text.size() / 2;
    const void *rowEnd = memchr(text.constData() + half, '\xff', size_t(text.size() - half));
    return rowEnd ? static_cast<const char *>(rowEnd) - text.constData() + 1 : text.size();
}

} // namespace

std::vector<char> TableIndex::definitionBlocks(const Plan &plan) const
{
    // An index that does not cover every piece is not asked: a piece it misses could be a row found.
    if (!blocksUsed || !m_definitionsLoaded || m_definitionBlocks.pieces() != m_definitions.starts.size() ||
        !BlockIndex::narrows(plan.definitionRuns))
        return {};
    std::vector<char> blocks = m_definitionBlocks.candidates(plan.definitionRuns);
    // Words common enough to be in nearly every block are read faster in one pass than block by block.
    if (size_t(std::count(blocks.begin(), blocks.end(), char(1))) * 4 > blocks.size() * 3)
        return {};
    return blocks;
}

namespace {

using Ranges = std::vector<std::pair<qsizetype, qsizetype>>;

// The byte ranges of a column that its candidate blocks cover, adjoining ones joined, cut in two of about
// equal bytes just after a piece ends.
std::array<Ranges, 2> candidateRanges(const std::vector<char> &blocks, const std::vector<qsizetype> &starts,
                                      const QByteArray &text)
{
    Ranges ranges;
    qsizetype total = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        if (!blocks[b])
            continue;
        const size_t next = (b + 1) * BlockIndex::PiecesPerBlock;
        const qsizetype from = starts[b * BlockIndex::PiecesPerBlock];
        const qsizetype to = next < starts.size() ? starts[next] : text.size();
        if (!ranges.empty() && ranges.back().second == from)
            ranges.back().second = to;
        else
            ranges.emplace_back(from, to);
        total += to - from;
    }
    std::array<Ranges, 2> halves;
    // What the first half still takes; a pass too short for two cores takes it all.
    qsizetype firstLeft = total < SplitBytes ? total : total / 2;
    for (const auto &[from, to] : ranges) {
        if (firstLeft >= to - from) {
            halves[0].emplace_back(from, to);
            firstLeft -= to - from;
        } else if (firstLeft <= 0) {
            halves[1].emplace_back(from, to);
        } else {
            const void *end = memchr(text.constData() + from + firstLeft, '\xff', size_t(to - from - firstLeft));
            const qsizetype cut = end ? static_cast<const char *>(end) - text.constData() + 1 : to;
            halves[0].emplace_back(from, cut);
            halves[1].emplace_back(cut, to);
            firstLeft = 0;
        }
    }
    return halves;
}

} // namespace

void TableIndex::rankRows()
{
    // Both are let go at every change, and kept for every row and piece once made, even with no row left.
    if (m_rank.size() == m_alive.size() && m_termPlaces.size() == m_terms.starts.size())
        return;
    m_rank.resize(m_alive.size());
    // A piece of a row deleted or written again stands nowhere.
    m_termPlaces.assign(m_terms.starts.size(), -1);
    const auto pass = [this](size_t from, size_t to) {
        for (size_t place = from; place < to; ++place) {
            const int row = m_order[place];
            m_rank[size_t(row)] = int(place);
            if (const int piece = m_termPieces[size_t(row)]; piece >= 0)
                m_termPlaces[size_t(piece)] = int(place);
        }
    };
    if (m_order.size() < SplitRows)
        pass(0, m_order.size());
    else
        inTwoHalves([&](int half) {
            const size_t middle = m_order.size() / 2;
            half == 0 ? pass(0, middle) : pass(middle, m_order.size());
        });
}

TableIndex::RankBits TableIndex::rankBits() const
{
    const size_t words = (m_order.size() + 63) / 64;
    return {std::vector<quint64>(words), std::vector<quint64>(words)};
}

void TableIndex::markPlaces(RankBits &bits, int half, const Column &kept)
{
    // In a loop of nothing else, so that many of these scattered writes are under way at once.
    for (const int place : kept.owners)
        markPlace(bits, half, place);
}

QList<int> TableIndex::rowsByRank(const RankBits &bits) const
{
    const size_t words = bits[0].size();
    const auto found = [&](size_t word) { return bits[0][word] | bits[1][word]; };
    std::array<size_t, 2> counts = {};
    const size_t middle = words / 2;
    for (size_t word = 0; word < words; ++word) {
        const quint64 marked = found(word);
        counts[word < middle ? 0 : 1] += size_t(bitCount(quint32(marked)) + bitCount(quint32(marked >> 32)));
    }
    // Made as a list, so that the listing handed out and the last search share it.
    QList<int> rows(qsizetype(counts[0] + counts[1]));
    int *const first = rows.data();
    const auto pass = [&](int half) {
        int *out = first + (half == 0 ? 0 : counts[0]);
        for (size_t word = half == 0 ? 0 : middle; word < (half == 0 ? middle : words); ++word) {
            for (quint64 bitsLeft = found(word); bitsLeft; bitsLeft &= bitsLeft - 1)
                *out++ = m_order[word * 64 + size_t(std::countr_zero(bitsLeft))];
        }
    };
    if (size_t(rows.size()) < SplitRows / 4) {
        pass(0);
        pass(1);
    } else {
        inTwoHalves(pass);
    }
    return rows;
}

bool TableIndex::scan(const QList<CatalogQuery::Predicate> &group, std::vector<char> &matched, TermHalves *terms,
                      RankBits *ranked) const
{
    const auto mark = [&](int half, int row) {
        if (!matched.empty())
            matched[size_t(row)] = 1;
        if (ranked)
            markPlace(*ranked, half, m_rank[size_t(row)]);
    };
    const Plan plan(group, *this);
    const bool byTerms = plan.filterColumn == &m_terms;
    const std::vector<char> blocks = byTerms ? std::vector<char>() : definitionBlocks(plan);
    if (!plan.filterColumn) {
        const auto tryRow = [&](size_t i) {
            if (m_alive[i] && (matched.empty() || !matched[i]) && matchesGroup(int(i), group, plan))
                mark(0, int(i));
        };
        if (blocks.empty()) {
            for (size_t i = 0; i < m_alive.size(); ++i)
                tryRow(i);
            return false;
        }
        // Only a row with a definition can meet a condition on it, and each such row owns one piece.
        for (size_t b = 0; b < blocks.size(); ++b) {
            if (!blocks[b])
                continue;
            const size_t end = std::min(m_definitions.owners.size(), (b + 1) * BlockIndex::PiecesPerBlock);
            for (size_t piece = b * BlockIndex::PiecesPerBlock; piece < end; ++piece)
                tryRow(size_t(m_definitions.owners[piece]));
        }
        return false;
    }
    // The terms are kept with their places, so only where the finds are put in order.
    const bool keepTerms = byTerms && terms && ranked;
    // The one condition the filter answers alone, as a short term search has.
    const bool filterDecides = group.size() == 1 && plan.decided == 0;
    const auto pass = [&](int half, qsizetype from, qsizetype to) {
        std::optional<TermCopier> copier;
        if (keepTerms)
            copier.emplace((*terms)[size_t(half)], m_terms);
        if (byTerms && ranked) {
            // Each find's place in the order is read by its piece: one look-up for whether its row is
            // alive, where it stands, and what the next search keeps of it.
            const auto found = [&](size_t piece, QByteArrayView text) {
                const int place = m_termPlaces[piece];
                if (place < 0)
                    return;
                if (!filterDecides || !matched.empty()) {
                    const int row = m_order[size_t(place)];
                    if ((!matched.empty() && matched[size_t(row)]) || (!filterDecides && !matchesGroup(row, group, plan, text)))
                        return;
                    if (!matched.empty())
                        matched[size_t(row)] = 1;
                }
                if (copier)
                    copier->append(text, place);
                else
                    markPlace(*ranked, half, place);
            };
            findPieces(m_terms, plan, from, to, found);
        } else {
            findPieces(*plan.filterColumn, plan, from, to, [&](size_t piece, QByteArrayView text) {
                const int owner = plan.filterColumn->owners[piece];
                if (!m_alive[size_t(owner)] || (!matched.empty() && matched[size_t(owner)]) ||
                    (!filterDecides && !matchesGroup(owner, group, plan, byTerms ? std::optional(text) : std::nullopt)))
                    return;
                mark(half, owner);
            });
        }
        if (copier) {
            copier->finish();
            markPlaces(*ranked, half, (*terms)[size_t(half)]);
        }
    };
    const QByteArray &text = plan.filterColumn->text;
    if (!blocks.empty()) {
        const std::array<Ranges, 2> halves = candidateRanges(blocks, m_definitions.starts, text);
        const auto passOver = [&](int half) {
            for (const auto &[from, to] : halves[size_t(half)])
                pass(half, from, to);
        };
        if (halves[1].empty())
            passOver(0);
        else
            inTwoHalves(passOver);
    } else if (text.size() < SplitBytes) {
        pass(0, 0, text.size());
    } else {
        const qsizetype middle = middleOf(text);
        inTwoHalves([&](int half) { half == 0 ? pass(0, 0, middle) : pass(1, middle, text.size()); });
    }
    return keepTerms;
}

QList<int> TableIndex::narrowByTerms(const QList<CatalogQuery::Predicate> &group, TermHalves &terms)
{
    const Plan plan(group, *this);
    // The last search's copy is narrowed where it lies: it is not needed once read.
    terms = std::move(m_last.terms);
    const bool filterDecides = group.size() == 1 && plan.decided == 0;
    RankBits kept = rankBits();
    const auto pass = [&](int half) {
        Column &column = terms[size_t(half)];
        TermCompactor compactor(column);
        findPieces(column, plan, 0, column.text.size(), [&](size_t piece, QByteArrayView text) {
            const int place = column.owners[piece];
            if (filterDecides || matchesGroup(m_order[size_t(place)], group, plan, text))
                compactor.keep(text, place);
        });
        compactor.finish();
        markPlaces(kept, half, column);
    };
    if (terms[0].text.size() + terms[1].text.size() < SplitBytes) {
        pass(0);
        pass(1);
    } else {
        inTwoHalves(pass);
    }
    return rowsByRank(kept);
}

QList<int> TableIndex::narrowByRows(const QList<CatalogQuery::Predicate> &group) const
{
    // No filter runs here: every condition is asked.
    Plan plan(group, *this);
    plan.decided = -1;
    // The candidates are tried in the order the rows lie in memory, then kept in the previous order.
    std::vector<char> candidate(m_alive.size(), 0);
    for (int index : m_last.rows)
        candidate[size_t(index)] = 1;
    std::vector<int> inMemory;
    inMemory.reserve(m_last.rows.size());
    for (size_t index = 0; index < candidate.size(); ++index) {
        const void *next = memchr(candidate.data() + index, 1, candidate.size() - index);
        if (!next)
            break;
        index = size_t(static_cast<const char *>(next) - candidate.data());
        inMemory.push_back(int(index));
    }
    // Each text is read from memory afresh: the ones a few rows on are asked for while one is tried.
    const auto reads = [&group](CatalogQuery::Column column) {
        return std::any_of(group.begin(), group.end(),
                           [column](const CatalogQuery::Predicate &p) { return p.operand.column == column; });
    };
    const bool readsTerms = reads(CatalogQuery::Term);
    const bool readsDefinitions = reads(CatalogQuery::Definition);
    constexpr size_t Ahead = 8;
    const auto pass = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            if (i + Ahead < to) {
                const size_t later = size_t(inMemory[i + Ahead]);
                if (readsTerms && m_termPieces[later] >= 0)
                    __builtin_prefetch(m_terms.piece(m_termPieces[later]).data());
                if (readsDefinitions && m_definitionPieces[later] >= 0) {
                    const QByteArrayView text = m_definitions.piece(m_definitionPieces[later]);
                    const qsizetype lines = qMin<qsizetype>(4, text.size() / 64 + 1);
                    for (qsizetype line = 0; line < lines; ++line)
                        __builtin_prefetch(text.data() + line * 64);
                }
            }
            const int index = inMemory[i];
            candidate[size_t(index)] = matchesGroup(index, group, plan) ? 2 : 0;
        }
    };
    // A definition is worth a second thread far sooner than a term: each is a walk through memory.
    if (inMemory.size() < (readsDefinitions ? SplitRows / 16 : SplitRows))
        pass(0, inMemory.size());
    else
        inTwoHalves([&](int half) {
            half == 0 ? pass(0, inMemory.size() / 2) : pass(inMemory.size() / 2, inMemory.size());
        });
    QList<int> rows;
    for (int index : m_last.rows) {
        if (candidate[size_t(index)] == 2)
            rows.push_back(index);
    }
    return rows;
}

TermListing TableIndex::select(const CatalogQuery &query)
{
    if (query.where.isEmpty()) {
        // Every row in order: the same listing until the rows change.
        if (!m_everyRow)
            m_everyRow = TermListing(m_shown, QList<int>(m_order.begin(), m_order.end()));
        return *m_everyRow;
    }

    QList<int> rows;
    TermHalves terms;
    bool termsKept = false;
    const bool oneGroup = query.ordered && query.where.size() == 1;
    // A search always has a condition: an empty one is no search, or one the rows have changed since.
    if (oneGroup && !m_last.group.isEmpty() && narrows(query.where[0], m_last.group)) {
        // The rows found before meet every earlier condition: one asked again word for word is met.
        QList<CatalogQuery::Predicate> group;
        for (const CatalogQuery::Predicate &p : query.where[0]) {
            const auto same = [&p](const CatalogQuery::Predicate &b) {
                return b.operand.column == p.operand.column && b.operand.function == CatalogQuery::Operand::Whole &&
                       p.operand.function == CatalogQuery::Operand::Whole && b.isLike && p.isLike &&
                       TextMatch::fold(b.pattern) == TextMatch::fold(p.pattern);
            };
            if (std::none_of(m_last.group.begin(), m_last.group.end(), same))
                group.append(p);
        }
        const bool onTerms = std::all_of(group.begin(), group.end(), [](const CatalogQuery::Predicate &p) {
            return p.operand.column != CatalogQuery::Definition;
        });
        if (m_last.termsKept && onTerms) {
            rows = narrowByTerms(group, terms);
            termsKept = true;
        } else {
            rows = narrowByRows(group);
        }
    } else {
        // A row owns one piece of each column, so one group finds it once: the rows found are told apart
        // only where there are more, or where no order is asked for and they are listed by row.
        std::vector<char> matched;
        if (!query.ordered || query.where.size() > 1)
            matched.assign(m_alive.size(), 0);
        RankBits ranked;
        if (query.ordered) {
            rankRows();
            ranked = rankBits();
        }
        for (const auto &group : query.where)
            termsKept = scan(group, matched, oneGroup ? &terms : nullptr, query.ordered ? &ranked : nullptr);
        if (query.ordered) {
            rows = rowsByRank(ranked);
        } else {
            for (size_t i = 0; i < m_alive.size(); ++i) {
                if (matched[i])
                    rows.push_back(int(i));
            }
            std::sort(rows.begin(), rows.end(), [this](int a, int b) { return idOf(a) < idOf(b); });
        }
    }
    TermListing found(m_shown, rows);
    if (oneGroup)
        m_last = LastSearch{query.where[0], std::move(rows), termsKept, std::move(terms)};
    return found;
}
