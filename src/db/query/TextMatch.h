#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Text comparisons that the query dialect promises: letters compare without regard to case for every
// alphabet, accented letters included, which SQLite's own LIKE and NOCASE do only for ASCII.
namespace TextMatch {

// Simple case folding, one code point for one, as UTF-8. Matching two folded texts byte by byte is
// matching the texts without regard to case.
QByteArray fold(QStringView text);
// The same from UTF-8, as SQLite stores text, without a detour through UTF-16, appended to out.
void appendFoldedUtf8(QByteArray &out, QByteArrayView utf8);

// `like` with "%" (any run, none included) and "_" (any one character); no escape character.
bool like(QStringView text, QStringView pattern);
// The same on texts already folded; pattern prepared once and matched against many texts.
class FoldedPattern {
public:
    explicit FoldedPattern(QStringView pattern);
    bool matches(QByteArrayView foldedText) const;
    // Whether the pattern only asks for one run of text anywhere ("%run%"): finding the run is the match.
    bool isContains() const { return m_contains; }
    QByteArrayView run() const { return QByteArrayView(m_pattern).sliced(1, m_pattern.size() - 2); }

private:
    QByteArray m_pattern;
    bool m_plainSegments = true; // no "_": every run between "%" is found with a plain substring search
    bool m_contains = false;
};

// Finds a folded needle in folded text: the places where its first and last bytes both stand are picked
// out thirty-two bytes at a time and only those are compared whole, which on text runs several times
// faster than memmem.
const char *find(const char *from, const char *end, const char *needle, size_t size);

namespace detail {
// The bytes between a candidate's first and last: mostly none or a few, too few for a call to memcmp.
inline bool sameMiddle(const char *at, const char *needle, size_t size)
{
    if (size > 18)
        return std::memcmp(at + 1, needle + 1, size - 2) == 0;
    for (size_t i = 1; i + 1 < size; ++i) {
        if (at[i] != needle[i])
            return false;
    }
    return true;
}
} // namespace detail

// Every match in one pass: found(match) answers where to look on from, past the match (`end` stops).
// A pass over many rows thus never starts afresh at each one it finds.
template<typename Found>
void forEachMatch(const char *from, const char *end, const char *needle, size_t size, Found &&found)
{
    const char *at = from;
    if (size == 0) {
        while (at < end)
            at = found(at);
        return;
    }
    if (size == 1) {
        while (at < end) {
            const void *match = std::memchr(at, needle[0], size_t(end - at));
            if (!match)
                return;
            at = found(static_cast<const char *>(match));
        }
        return;
    }
    if (at >= end || size_t(end - at) < size)
        return;
    const char first = needle[0];
    const char last = needle[size - 1];
    const char *const limit = end - size + 1; // the last place a match can start, plus one
#ifdef __SSE2__
    const __m128i firsts = _mm_set1_epi8(first);
    const __m128i lasts = _mm_set1_epi8(last);
    const auto candidates = [&](const char *block) {
        const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block));
        const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + size - 1));
        return unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(heads, firsts), _mm_cmpeq_epi8(tails, lasts))));
    };
    while (limit - at >= 32) {
        quint32 mask = candidates(at) | candidates(at + 16) << 16;
        const char *next = at + 32;
        while (mask) {
            const char *candidate = at + __builtin_ctz(mask);
            mask &= mask - 1;
            if (!detail::sameMiddle(candidate, needle, size))
                continue;
            const char *resume = found(candidate);
            if (resume >= at + 32) {
                next = resume;
                break;
            }
            mask &= ~quint32(0) << (resume - at);
        }
        at = next;
    }
#endif
    while (at < limit) {
        if (at[0] == first && at[size - 1] == last && detail::sameMiddle(at, needle, size))
            at = found(at);
        else
            ++at;
    }
}

// Left() and Right(): the first or last n characters, counted as "_" counts them, so a character
// outside the basic plane is never cut in half.
QStringView leftCharacters(QStringView text, qint64 n);
QStringView rightCharacters(QStringView text, qint64 n);
// The same on UTF-8, as the in-memory copy keeps its folded texts.
QByteArrayView leftCharacters(QByteArrayView utf8, qint64 n);
QByteArrayView rightCharacters(QByteArrayView utf8, qint64 n);

// A key whose byte order is the reading order of an Italian glossary: letters without regard to case,
// an accented letter beside its plain letter; ties broken by accent, then by case.
QByteArray sortKey(QStringView text);
// Appends the key to `out` without its last part, the text itself as UTF-8, which goes to `utf8` (which may
// be `out`): a caller that keeps the text as UTF-8 anyway holds those bytes once.
void appendSortKey(QByteArray &out, QByteArray &utf8, QStringView text);

} // namespace TextMatch
