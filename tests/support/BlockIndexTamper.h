#pragma once

#include "db/search/TableIndex.h"

#include <algorithm>

// Breaks an index on purpose, to show that the property tests would catch an index that forgets a run.
struct BlockIndexTamper {
    // Forgets that the first block of definitions holds the first three bytes of `folded`.
    static void dropFirstBlock(TableIndex &index, QByteArrayView folded)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(folded.data());
        const quint32 run = p[0] | quint32(p[1]) << 8 | quint32(p[2]) << 16;
        BlockIndex::Blocks &set = index.m_definitionBlocks.m_sets[BlockIndex::hashOf(run)];
        if (!set.bits.empty())
            set.bits[0] &= ~quint64(1);
        set.list.erase(std::remove(set.list.begin(), set.list.end(), 0u), set.list.end());
    }
    // Forgets that the first term that holds the letter, a common one, holds it.
    static void dropFirstTermHolding(TableIndex &index, char letter)
    {
        DenseRunIndex &runs = index.m_termRuns;
        std::vector<quint64> &bits = runs.m_bitmaps.at(runs.m_slot[DenseRunIndex::codeOf(uchar(letter))] - 1u);
        const auto first = std::find_if(bits.begin(), bits.end(), [](quint64 word) { return word != 0; });
        *first &= *first - 1;
    }
};
