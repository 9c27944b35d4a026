#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <vector>

// Which runs of three bytes occur in each block of pieces of a folded column, so that a search reads only
// the blocks that hold every such run of its text. Runs are hashed into a fixed number of sets: two runs
// that share a set only make a block look like a candidate, never hide one. Keys of two bytes or fewer
// are in nearly every block of any real text, and are left to the scan.
class BlockIndex {
public:
    static constexpr size_t PiecesPerBlock = 128;

    // Reads the pieces of a whole column, `starts` being where each begins; each ends one byte (its
    // separator) before the next begins, the last one byte before the end of `text`.
    void build(const QByteArray &text, const std::vector<qsizetype> &starts);
    // The piece after the last one indexed.
    void add(QByteArrayView piece);
    void clear();

    // Whether any literal run of `runs` is long enough to tell blocks apart.
    static bool narrows(const QList<QByteArray> &runs);
    // One flag per block: whether it may hold every one of the runs.
    std::vector<char> candidates(const QList<QByteArray> &runs) const;
    size_t pieces() const { return m_pieces; }
    size_t blocks() const { return (m_pieces + PiecesPerBlock - 1) / PiecesPerBlock; }
    qsizetype bytes() const;

private:
    static constexpr int HashBits = 16;
    static constexpr size_t Hashes = size_t(1) << HashBits;
    static quint32 hashOf(quint32 run);

    // The blocks that hold one hashed run: a sorted list while they are few, a bitset once that is smaller.
    struct Blocks {
        std::vector<quint32> list;
        std::vector<quint64> bits;
        // Blocks come in order, each as often as it holds the run.
        void add(quint32 block);
        void mergeAfter(Blocks &&later);
        void andInto(std::vector<quint64> &result) const;
    };

    // Flags in `seen` the hashed runs of `text`.
    static void noteRuns(QByteArrayView text, std::vector<quint64> &seen);
    // Adds the block to the set of every run flagged in `seen`, and clears the flags.
    void fileBlock(quint32 block, std::vector<quint64> &seen);
    // Files pieces [from, to) of the column.
    void addPieces(const QByteArray &text, const std::vector<qsizetype> &starts, size_t from, size_t to);

    std::vector<Blocks> m_sets = std::vector<Blocks>(Hashes);
    size_t m_pieces = 0;

    friend struct BlockIndexTamper;
};
