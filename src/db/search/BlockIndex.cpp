#include "db/search/BlockIndex.h"

#include <thread>

namespace {

// A run of two or three bytes, its length beside it so that the two kinds never meet.
inline quint32 pairAt(const unsigned char *p)
{
    return p[0] | quint32(p[1]) << 8 | 2u << 24;
}

inline quint32 tripleAt(const unsigned char *p)
{
    return p[0] | quint32(p[1]) << 8 | quint32(p[2]) << 16 | 3u << 24;
}

// Below this much text a second thread costs more than it saves.
constexpr qsizetype SplitBytes = 1 << 20;

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

void BlockIndex::hashesOf(QByteArrayView text, std::vector<quint64> &seen, std::vector<quint32> &hashes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const qsizetype n = text.size();
    const auto note = [&](quint32 run) {
        const quint32 h = hashOf(run);
        const quint64 bit = quint64(1) << (h % 64);
        if (!(seen[h / 64] & bit)) {
            seen[h / 64] |= bit;
            hashes.push_back(h);
        }
    };
    for (qsizetype i = 0; i + 1 < n; ++i) {
        note(pairAt(p + i));
        if (i + 2 < n)
            note(tripleAt(p + i));
    }
}

void BlockIndex::addPieces(const QByteArray &text, const std::vector<qsizetype> &starts, size_t from, size_t to)
{
    std::vector<quint64> seen(Hashes / 64);
    std::vector<quint32> hashes;
    for (size_t block = from / PiecesPerBlock; block * PiecesPerBlock < to; ++block) {
        const size_t end = std::min(to, (block + 1) * PiecesPerBlock);
        for (size_t piece = block * PiecesPerBlock; piece < end; ++piece) {
            const qsizetype last = (piece + 1 < starts.size() ? starts[piece + 1] : text.size()) - 1;
            hashesOf(QByteArrayView(text.constData() + starts[piece], last - starts[piece]), seen, hashes);
        }
        for (const quint32 h : hashes) {
            m_sets[h].add(quint32(block));
            seen[h / 64] = 0;
        }
        hashes.clear();
    }
}

void BlockIndex::build(const QByteArray &text, const std::vector<qsizetype> &starts)
{
    clear();
    const size_t middle = starts.size() / PiecesPerBlock / 2 * PiecesPerBlock;
    if (text.size() < SplitBytes || middle == 0) {
        addPieces(text, starts, 0, starts.size());
    } else {
        // Each core files half the blocks; the later half's sets follow the earlier's.
        BlockIndex later;
        std::thread other([&] { later.addPieces(text, starts, middle, starts.size()); });
        addPieces(text, starts, 0, middle);
        other.join();
        for (size_t h = 0; h < Hashes; ++h)
            m_sets[h].mergeAfter(std::move(later.m_sets[h]));
    }
    m_pieces = starts.size();
}

void BlockIndex::add(QByteArrayView piece)
{
    std::vector<quint64> seen(Hashes / 64);
    std::vector<quint32> hashes;
    hashesOf(piece, seen, hashes);
    for (const quint32 h : hashes)
        m_sets[h].add(quint32(m_pieces / PiecesPerBlock));
    ++m_pieces;
}

void BlockIndex::clear()
{
    m_sets = std::vector<Blocks>(Hashes);
    m_pieces = 0;
}

bool BlockIndex::narrows(const QList<QByteArray> &runs)
{
    return std::any_of(runs.begin(), runs.end(), [](const QByteArray &run) { return run.size() >= 2; });
}

std::vector<char> BlockIndex::candidates(const QList<QByteArray> &runs) const
{
    const size_t count = blocks();
    std::vector<quint64> result((count + 63) / 64, ~quint64(0));
    for (const QByteArray &run : runs) {
        const auto *p = reinterpret_cast<const unsigned char *>(run.constData());
        if (run.size() == 2)
            m_sets[hashOf(pairAt(p))].andInto(result);
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
