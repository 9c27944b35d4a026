#include "db/search/DenseRunIndex.h"

#include "db/search/TwoCores.h"

#include <algorithm>
#include <array>

template<typename F>
void DenseRunIndex::forEachRun(QByteArrayView piece, F &&f)
{
    const auto *const bytes = reinterpret_cast<const unsigned char *>(piece.data());
    for (qsizetype at = 0; at < piece.size(); ++at) {
        f(codeOf(bytes[at]));
        if (at > 0)
            f(codeOf(bytes[at - 1], bytes[at]));
    }
}

void DenseRunIndex::clear()
{
    m_slot = {};
    m_bitmaps = {};
    m_pieces = 0;
}

void DenseRunIndex::build(const QByteArray &text, const std::vector<qsizetype> &starts)
{
    clear();
    const size_t pieces = starts.size();
    // How many sampled pieces hold each run, each counted once a piece.
    std::vector<quint32> held(Codes);
    std::vector<quint32> lastSample(Codes, 0);
    const size_t step = std::max<size_t>(1, pieces / SampledPieces);
    quint32 sampled = 0;
    for (size_t piece = 0; piece < pieces; piece += step) {
        ++sampled;
        const qsizetype end = (piece + 1 < pieces ? starts[piece + 1] : text.size()) - 1;
        forEachRun(QByteArrayView(text.constData() + starts[piece], end - starts[piece]), [&](size_t code) {
            if (lastSample[code] != sampled) {
                lastSample[code] = sampled;
                ++held[code];
            }
        });
    }
    std::vector<size_t> chosen;
    for (size_t code = 0; code < Codes; ++code) {
        if (held[code] > 0 && held[code] * Share >= sampled)
            chosen.push_back(code);
    }
    std::sort(chosen.begin(), chosen.end(), [&](size_t a, size_t b) { return held[a] > held[b]; });
    chosen.resize(std::min(chosen.size(), MostRuns));

    m_slot.assign(Codes, 0);
    const size_t words = (pieces + 63) / 64;
    m_bitmaps.assign(chosen.size(), std::vector<quint64>(words));
    for (size_t k = 0; k < chosen.size(); ++k)
        m_slot[chosen[k]] = quint8(k + 1);
    m_pieces = pieces;
    if (pieces == 0)
        return;
    // The second core takes the later pieces from a whole word of bits on, so that no word is shared.
    const size_t middle = text.size() < TwoCores::SplitBytes ? 0 : pieces / 2 / 64 * 64;
    if (middle == 0) {
        markPieces(text, 0, 0, text.size());
        return;
    }
    TwoCores::inTwoHalves([&](int half) {
        half == 0 ? markPieces(text, 0, 0, starts[middle]) : markPieces(text, middle, starts[middle], text.size());
    });
}

void DenseRunIndex::markPieces(const QByteArray &text, size_t from, qsizetype begin, qsizetype end)
{
    // Every run sets a bit, those not indexed in `spill`, so that the loop has no branch to mispredict.
    std::vector<quint64> spill((m_pieces + 63) / 64);
    std::array<quint64 *, MostRuns + 1> into{};
    into[0] = spill.data();
    for (size_t k = 0; k < m_bitmaps.size(); ++k)
        into[k + 1] = m_bitmaps[k].data();
    const quint8 *const slot = m_slot.data();
    const auto *const bytes = reinterpret_cast<const unsigned char *>(text.constData());
    size_t piece = from;
    // A separator before a piece's first byte: no run that holds one is indexed.
    unsigned before = 0xff;
    for (qsizetype at = begin; at < end; ++at) {
        const unsigned byte = bytes[at];
        const size_t word = piece / 64;
        const quint64 bit = quint64(1) << (piece % 64);
        into[slot[codeOf(byte)]][word] |= bit;
        into[slot[codeOf(before, byte)]][word] |= bit;
        piece += byte == 0xff;
        before = byte;
    }
}

void DenseRunIndex::add(QByteArrayView piece)
{
    const size_t index = m_pieces++;
    if (index % 64 == 0) {
        for (std::vector<quint64> &bitmap : m_bitmaps)
            bitmap.push_back(0);
    }
    if (m_slot.empty())
        return;
    forEachRun(piece, [&](size_t code) {
        if (const quint8 s = m_slot[code])
            m_bitmaps[s - 1u][index / 64] |= quint64(1) << (index % 64);
    });
}

const quint64 *DenseRunIndex::piecesHolding(QByteArrayView run) const
{
    if (m_slot.empty() || run.isEmpty() || run.size() > 2)
        return nullptr;
    const auto *const p = reinterpret_cast<const unsigned char *>(run.data());
    const quint8 s = m_slot[run.size() == 1 ? codeOf(p[0]) : codeOf(p[0], p[1])];
    return s ? m_bitmaps[s - 1u].data() : nullptr;
}

qsizetype DenseRunIndex::bytes() const
{
    qsizetype total = qsizetype(m_slot.capacity());
    for (const std::vector<quint64> &bitmap : m_bitmaps)
        total += qsizetype(bitmap.capacity() * sizeof(quint64));
    return total;
}
