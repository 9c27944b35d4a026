#include "db/search/BlockIndex.h"

#include "db/search/TwoCores.h"

#include <algorithm>

namespace {

inline quint32 tripleAt(const unsigned char *p)
{
    return p[0] | quint32(p[1]) << 8 | quint32(p[2]) << 16;
}

} // namespace

void BlockIndex::Blocks::add(quint32 block)
{
    if (bits.empty()) {
        if (!list.empty() && list.back() == block)
            return;
        list.push_back(block);
        // Four bytes a block in the list against one bit a block, up to this one, in a bitset.
        if (list.size() * 4 <= (block / 64 + 1) * 8)
            return;
        bits.resize(block / 64 + 1);
        for (const quint32 b : list)
            bits[b / 64] |= quint64(1) << (b % 64);
        list = {};
        return;
    }
    if (block / 64 >= bits.size())
        bits.resize(block / 64 + 1);
    bits[block / 64] |= quint64(1) << (block % 64);
}

void BlockIndex::Blocks::mergeAfter(Blocks &&later)
{
    if (list.empty() && bits.empty()) {
        *this = std::move(later);
        return;
    }
    if (later.bits.empty()) {
        for (const quint32 b : later.list)
            add(b);
        return;
    }
    if (bits.empty()) {
        bits.resize(later.bits.size());
        for (const quint32 b : list)
            bits[b / 64] |= quint64(1) << (b % 64);
        list = {};
    }
    bits.resize(std::max(bits.size(), later.bits.size()));
    for (size_t w = 0; w < later.bits.size(); ++w)
        bits[w] |= later.bits[w];
}

void BlockIndex::Blocks::andInto(std::vector<quint64> &result) const
{
    if (!bits.empty()) {
        for (size_t w = 0; w < result.size(); ++w)
            result[w] &= w < bits.size() ? bits[w] : 0;
        return;
    }
    std::vector<quint64> mine(result.size());
    for (const quint32 b : list) {
        if (b / 64 < mine.size())
            mine[b / 64] |= quint64(1) << (b % 64);
    }
    for (size_t w = 0; w < result.size(); ++w)
        result[w] &= mine[w];
}

quint32 BlockIndex::hashOf(quint32 run)
{
    return (run * 0x9E3779B1u) >> (32 - HashBits);
}

void BlockIndex::noteRuns(QByteArrayView text, std::vector<quint64> &seen)
{
    // No branch per byte: every run sets its flag, and the flags are read once per block.
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    for (qsizetype i = 0; i + 2 < text.size(); ++i) {
        const quint32 h = hashOf(tripleAt(p + i));
        seen[h / 64] |= quint64(1) << (h % 64);
    }
}

void BlockIndex::fileBlock(quint32 block, std::vector<quint64> &seen)
{
    for (size_t w = 0; w < seen.size(); ++w) {
        for (quint64 bits = seen[w]; bits; bits &= bits - 1)
            m_sets[w * 64 + size_t(__builtin_ctzll(bits))].add(block);
        seen[w] = 0;
    }
}

void BlockIndex::addPieces(const QByteArray &text, const std::vector<qsizetype> &starts, size_t from, size_t to)
{
    std::vector<quint64> seen(Hashes / 64);
    for (size_t block = from / PiecesPerBlock; block * PiecesPerBlock < to; ++block) {
        const size_t end = std::min(to, (block + 1) * PiecesPerBlock);
        for (size_t piece = block * PiecesPerBlock; piece < end; ++piece) {
            const qsizetype last = (piece + 1 < starts.size() ? starts[piece + 1] : text.size()) - 1;
            noteRuns(QByteArrayView(text.constData() + starts[piece], last - starts[piece]), seen);
        }
        fileBlock(quint32(block), seen);
    }
}

void BlockIndex::build(const QByteArray &text, const std::vector<qsizetype> &starts)
{
    clear();
    const size_t middle = starts.size() / PiecesPerBlock / 2 * PiecesPerBlock;
    if (text.size() < TwoCores::SplitBytes || middle == 0) {
        addPieces(text, starts, 0, starts.size());
    } else {
        // Each core files half the blocks; the later half's sets follow the earlier's.
        BlockIndex later;
        TwoCores::inTwoHalves([&](int half) {
            half == 0 ? addPieces(text, starts, 0, middle) : later.addPieces(text, starts, middle, starts.size());
        });
        for (size_t h = 0; h < Hashes; ++h)
            m_sets[h].mergeAfter(std::move(later.m_sets[h]));
    }
    m_pieces = starts.size();
}

void BlockIndex::add(QByteArrayView piece)
{
    std::vector<quint64> seen(Hashes / 64);
    noteRuns(piece, seen);
    fileBlock(quint32(m_pieces / PiecesPerBlock), seen);
    ++m_pieces;
}

void BlockIndex::clear()
{
    m_sets = std::vector<Blocks>(Hashes);
    m_pieces = 0;
}

bool BlockIndex::narrows(const QList<QByteArray> &runs)
{
    return std::any_of(runs.begin(), runs.end(), [](const QByteArray &run) { return run.size() >= 3; });
}

std::vector<char> BlockIndex::candidates(const QList<QByteArray> &runs) const
{
    const size_t count = blocks();
    std::vector<quint64> result((count + 63) / 64, ~quint64(0));
    for (const QByteArray &run : runs) {
        const auto *p = reinterpret_cast<const unsigned char *>(run.constData());
        for (qsizetype i = 0; i + 2 < run.size(); ++i)
            m_sets[hashOf(tripleAt(p + i))].andInto(result);
    }
    std::vector<char> flags(count);
    for (size_t b = 0; b < count; ++b)
        flags[b] = char(result[b / 64] >> (b % 64) & 1);
    return flags;
}

qsizetype BlockIndex::bytes() const
{
    qsizetype total = qsizetype(m_sets.capacity() * sizeof(Blocks));
    for (const Blocks &set : m_sets)
        total += qsizetype(set.list.capacity() * sizeof(quint32) + set.bits.capacity() * sizeof(quint64));
    return total;
}
