#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// For each run of one or two bytes that many pieces of a folded column hold, which pieces hold it. A
// search for a letter or two finds a large share of a glossary's terms: it reads its finds off a bitmap,
// in order, instead of scanning every byte and stopping at each find. Rarer runs are left to the scan,
// which passes over them quickly.
class DenseRunIndex {
public:
    // Reads the pieces of a whole column, `starts` being where each begins; each ends with a separator.
    void build(const QByteArray &text, const std::vector<qsizetype> &starts);
    // The piece after the last one indexed.
    void add(QByteArrayView piece);
    void clear();

    // One bit per piece, set for those that hold `run`; null unless the run is of one or two bytes and
    // was held by many pieces when the column was read.
    const quint64 *piecesHolding(QByteArrayView run) const;
    size_t pieces() const { return m_pieces; }
    qsizetype bytes() const;

private:
    // A run's number: its byte, or 256 past its two bytes.
    static constexpr size_t Codes = 256 + 65536;
    static size_t codeOf(unsigned byte) { return byte; }
    static size_t codeOf(unsigned before, unsigned byte) { return 256 + (before << 8 | byte); }
    // Calls f(code) for every run of the piece.
    template<typename F>
    static void forEachRun(QByteArrayView piece, F &&f);
    // A run is indexed when at least one piece in this many holds it; at most this many runs are.
    static constexpr size_t Share = 16;
    static constexpr size_t MostRuns = 128;
    // Which runs are many is judged on up to this many pieces spread evenly over the column.
    static constexpr size_t SampledPieces = 65536;

    // Sets the bits of pieces [from, ...) for the text between `begin` and `end`, where a piece starts.
    void markPieces(const QByteArray &text, size_t from, qsizetype begin, qsizetype end);

    // By run's number: one more than the index of its bitmap, 0 for a run not indexed.
    std::vector<quint8> m_slot;
    std::vector<std::vector<quint64>> m_bitmaps;
    size_t m_pieces = 0;

    friend struct BlockIndexTamper;
};
