#pragma once

#include "db/query/CatalogQuery.h"
#include "db/query/TextMatch.h"
#include "db/search/BlockIndex.h"
#include "db/search/DenseRunIndex.h"
#include "db/search/TermListing.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <optional>
#include <utility>
#include <vector>

// The terms and definitions of a glossary, folded for matching and held in memory, so that a search
// keystroke scans memory instead of decrypting the file again. It knows nothing of files: a loader fills
// it, and this program's own writes are applied to it as they are committed.
class TableIndex {
public:
    // Scans are worth answering from memory; a lookup by ID is left to the file's own key.
    static bool answers(const CatalogQuery &query);
    // The query's rows, in its order; the definitions must be loaded when it reads them. The search is kept,
    // so that the next one that narrows it need only look at its rows.
    TermListing select(const CatalogQuery &query);
    static bool readsDefinitions(const CatalogQuery &query);
    const QStringList &columns() const { return m_columns; }

    // Filling: the table's columns, then every row's term as stored (UTF-8, nullopt for a null) in ID
    // order, then the definitions by ID.
    void beginTerms(QStringList columns);
    // Returns the row's number, for the definition read along with it.
    int addTerm(qint64 id, std::optional<QByteArrayView> utf8);
    void endTerms();
    void setDefinition(qint64 id, std::optional<QByteArrayView> utf8);
    void setDefinitionOfRow(int row, std::optional<QByteArrayView> utf8);
    void endDefinitions();
    bool termsLoaded() const { return m_termsLoaded; }
    bool definitionsLoaded() const { return m_definitionsLoaded; }
    // Tombstones of this program's own changes are swept by reading afresh once they outweigh the rows.
    bool worthReloading() const { return m_dead > qsizetype(m_alive.size()) / 2 + 1024; }

    void rowWritten(qint64 id, const QVariant &term, const QVariant &definition);
    void rowDeleted(qint64 id);
    // After the file ran a delete of the query's rows: one by ID is followed, any other is read afresh.
    void deleted(const CatalogQuery &query, qint64 rowsAffected);
    void invalidate();

    // Off: a definition search reads every definition, as it did before the blocks were indexed (for
    // measuring against).
    static void setDefinitionBlocksUsed(bool used);
    qsizetype definitionBlocksBytes() const { return m_definitionBlocks.bytes(); }
    qsizetype termRunsBytes() const { return m_termRuns.bytes(); }

private:
    // The first sixteen bytes of a row's sort key, as two numbers that order as those bytes do.
    using KeyPrefix = std::pair<quint64, quint64>;
    // While the rows are read, the first bytes of each term's sort key, which decide most comparisons
    // without a look at the row, so that the rows are sorted once at the end; then let go. A whole key is
    // worked out afresh from the shown term where the first bytes tie, and for the rows a write places.
    struct LoadKeys {
        struct Keyed {
            KeyPrefix prefix;
            int row;
        };
        std::vector<Keyed> keyed; // the rows whose term is not null
        QByteArray key;           // room to work a key out in
    };
    // One folded column: every row's text one after another, and which row each piece belongs to.
    struct Column {
        QByteArray text;
        std::vector<qsizetype> starts;
        std::vector<int> owners;
        void clear();
        void append(QByteArrayView folded, int row);
        // Ends the text that starts at `at`, already written into `text`.
        void close(qsizetype at, int row);
        // The piece that holds the offset.
        size_t pieceAt(qsizetype offset) const;
        // Where the piece after `index` starts: its own text and separator end there.
        qsizetype endOf(size_t index) const { return index + 1 < starts.size() ? starts[index + 1] : text.size(); }
        // Its text without the separator.
        QByteArrayView piece(int index) const
        {
            const qsizetype from = starts[size_t(index)];
            return QByteArrayView(text.constData() + from, endOf(size_t(index)) - 1 - from);
        }
    };

    int addRow(qint64 id, const QVariant &term);
    // The row's bookkeeping, once its term is in the columns; answers its number.
    int pushRow(int termPiece);
    void setDefinitionOf(int row, const QVariant &definition);
    int rowCount() const { return int(m_alive.size()); }
    qint64 idOf(int row) const { return m_shown->entries[size_t(row)].id; }
    // The live row with the ID, or -1.
    int rowOf(qint64 id) const;
    void insertInOrder(int row);
    void removeFromOrder(int row);
    // Where a row stands in the order: a null term first, then by the term's sort key, then by ID.
    struct Place {
        bool null;
        QByteArray key;
        qint64 id;
    };
    Place placeOf(int row) const;
    // The sort key of a row whose term is not null.
    QByteArray keyOf(int row) const;
    static bool before(const Place &a, const Place &b);
    // The terms a pass found, in the order of the rows in memory, as each of the two cores found them.
    using TermHalves = std::array<Column, 2>;
    // One bit for each place in m_order, as each of the two cores marks the rows it found there.
    using RankBits = std::array<std::vector<quint64>, 2>;
    RankBits rankBits() const;
    // Set at every find of a dense search: defined here to be inlined.
    static void markPlace(RankBits &bits, int half, int place)
    {
        bits[size_t(half)][size_t(place) / 64] |= quint64(1) << (size_t(place) % 64);
    }
    // Marks the places that own the kept terms.
    static void markPlaces(RankBits &bits, int half, const Column &kept);
    // The rows whose places are marked, in order.
    QList<int> rowsByRank(const RankBits &bits) const;
    // Brings m_rank and m_termPlaces up to date with m_order.
    void rankRows();
    // Copies found terms into a column, many small ones a second: room is made by doubling, and a
    // short term is copied as one block of its maximum size.
    class TermCopier;
    // Keeps some of a column's terms in that same column, each moved back over those left out.
    class TermCompactor;
    // The conditions of one group made ready for a pass: the longest run of text that any match must hold
    // is looked for first, in the column it belongs to, and the rest is asked only where it stands.
    struct Plan {
        std::vector<TextMatch::FoldedPattern> patterns;
        QByteArray filter;
        const Column *filterColumn = nullptr;
        qsizetype decided = -1; // the condition the filter alone answers
        // Every literal run that the definition must hold for the group to be met.
        QList<QByteArray> definitionRuns;
        explicit Plan(const QList<CatalogQuery::Predicate> &group, const TableIndex &index);
    };
    // `term`, when given, is the row's folded term as the pass found it, read instead of the column.
    bool matchesGroup(int row, const QList<CatalogQuery::Predicate> &group, const Plan &plan,
                      std::optional<QByteArrayView> term = std::nullopt) const;
    // Calls found(piece, its text) for every piece of `column` between `from` and `to` that holds the
    // plan's filter; `from` must be where a piece starts.
    template<typename Found>
    void findPieces(const Column &column, const Plan &plan, qsizetype from, qsizetype to, Found &&found) const;
    // Marks in `matched` (unless it is empty) the live rows not marked before that meet every condition of
    // the group; with `ranked`, also sets the bit of each one's place in m_order, whose m_rank must be up to
    // date; with `terms`, also copies their terms there when the pass ran over terms, and answers whether
    // it did.
    bool scan(const QList<CatalogQuery::Predicate> &group, std::vector<char> &matched, TermHalves *terms = nullptr,
              RankBits *ranked = nullptr) const;
    // One flag per block of definitions, whether it may hold a row the plan finds; empty when every
    // block must be read.
    std::vector<char> definitionBlocks(const Plan &plan) const;
    // The rows among the last search's that meet the group, whose conditions are all on the term, in the
    // last search's order; the last search's kept terms are narrowed where they lie and handed to `terms`.
    QList<int> narrowByTerms(const QList<CatalogQuery::Predicate> &group, TermHalves &terms);
    QList<int> narrowByRows(const QList<CatalogQuery::Predicate> &group) const;
    // Forgets what was worked out from the rows before they changed.
    void changed();

    // The last search of one group of conditions and the rows it found, in order: a search whose every
    // condition is at least as narrow need only look at those rows.
    struct LastSearch {
        QList<CatalogQuery::Predicate> group;
        QList<int> rows; // shared with the listing handed out
        // The folded terms of those rows, when the search went by terms, each owned by its row's place in
        // m_order: the next search scans these few bytes in one pass instead of looking each row up.
        bool termsKept = false;
        TermHalves terms;
    };

    bool m_termsLoaded = false;
    bool m_definitionsLoaded = false;
    QStringList m_columns;
    std::vector<int> m_termPieces;       // by row: its piece of m_terms, -1 for a null
    std::vector<int> m_definitionPieces; // by row: its piece of m_definitions, -1 for a null
    std::vector<char> m_alive;           // by row
    std::vector<int> m_order; // live rows by term, then ID
    // By row: its place in m_order, so that the rows a search finds are put in order by marking their
    // places rather than by a walk through every row. Empty from a change to the next search or load.
    std::vector<int> m_rank;
    // By piece of m_terms: the place of its row in m_order, -1 for a piece no live row owns; made with
    // m_rank.
    std::vector<int> m_termPlaces;
    // The rows read from the file came in ID order and are found by halving; rows written since are
    // in the hash.
    int m_loadedRows = 0;
    QHash<qint64, int> m_writtenById;
    // Definitions read after the terms come in the same order: the row after the last one is tried first.
    int m_nextDefinitionRow = 0;
    LoadKeys m_loadKeys;
    // Every row's ID and term as stored, shared with the listings handed out. Rows are only ever appended
    // to it, never changed, so a listing still out reads its own rows as they were without a copy of the
    // whole table (the listings live on the thread that writes).
    std::shared_ptr<TermListing::Table> m_shown = std::make_shared<TermListing::Table>();
    Column m_terms;
    // Which pieces of m_terms hold each common letter or pair of bytes, kept for every piece once the
    // terms are loaded.
    DenseRunIndex m_termRuns;
    Column m_definitions;
    // Which blocks of m_definitions' pieces hold which runs of bytes, kept for every piece once the
    // definitions are loaded.
    BlockIndex m_definitionBlocks;
    qsizetype m_dead = 0;
    // Every row in order, handed out again until the rows change.
    std::optional<TermListing> m_everyRow;
    LastSearch m_last;

    friend struct BlockIndexTamper;
};
