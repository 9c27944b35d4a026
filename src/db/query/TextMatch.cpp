#include "db/query/TextMatch.h"

#include <QList>
#include <QString>

#include <cstring>

namespace {

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

// The folded form, as UTF-8, of every character written in two bytes (most accented letters): the
// bulk of a glossary's non-ASCII text folds by one lookup.
struct TwoByteFolds {
    struct Fold {
        char bytes[4];
        unsigned char size;
    };
    Fold fold[0x800];
    TwoByteFolds()
    {
        for (char32_t c = 0x80; c < 0x800; ++c) {
            QByteArray out;
            appendUtf8(out, QChar::toCaseFolded(c));
            fold[c].size = static_cast<unsigned char>(out.size());
            std::memcpy(fold[c].bytes, out.constData(), size_t(out.size()));
        }
    }
};

// Length in bytes of the UTF-8 sequence that starts with b.
inline size_t sequenceLength(unsigned char b)
{
    return b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
}

// Backtracking match of a folded pattern against a folded text, "_" taking one whole code point.
bool wildcardMatch(const char *t, size_t tn, const char *p, size_t pn)
{
    size_t ti = 0, pi = 0;
    size_t starP = SIZE_MAX, starT = 0;
    while (ti < tn) {
        if (pi < pn && p[pi] == '_') {
            ++pi;
            ti += sequenceLength(static_cast<unsigned char>(t[ti]));
        } else if (pi < pn && p[pi] != '%' && p[pi] == t[ti]) {
            ++pi;
            ++ti;
        } else if (pi < pn && p[pi] == '%') {
            starP = pi++;
            starT = ti;
        } else if (starP != SIZE_MAX) {
            pi = starP + 1;
            starT += sequenceLength(static_cast<unsigned char>(t[starT]));
            // A literal after the "%" can only match where its first byte stands, which is always where a
            // character starts: the places between are skipped at memchr's pace, not a byte at a time.
            if (pi < pn && p[pi] != '_' && p[pi] != '%' && starT < tn) {
                const void *next = memchr(t + starT, p[pi], tn - starT);
                if (!next)
                    return false;
                starT = size_t(static_cast<const char *>(next) - t);
            }
            ti = starT;
        } else {
            return false;
        }
    }
    while (pi < pn && p[pi] == '%')
        ++pi;
    return pi == pn && ti == tn;
}

// Patterns without "_": the first run is anchored at the start, the last at the end, the ones
// between are found leftmost in turn, which is all a "%" can ask.
bool segmentMatch(const char *t, size_t tn, const char *p, size_t pn)
{
    const char *pe = p + pn;
    const char *firstStar = static_cast<const char *>(memchr(p, '%', pn));
    if (!firstStar)
        return tn == pn && memcmp(t, p, pn) == 0;
    const size_t head = size_t(firstStar - p);
    if (head > tn || (head > 0 && memcmp(t, p, head) != 0))
        return false;
    const char *lastStar = firstStar;
    for (const char *q = pe - 1; q > firstStar; --q) {
        if (*q == '%') {
            lastStar = q;
            break;
        }
    }
    const size_t tail = size_t(pe - lastStar - 1);
    if (head + tail > tn || (tail > 0 && memcmp(t + tn - tail, lastStar + 1, tail) != 0))
        return false;
    const char *ts = t + head;
    const char *te = t + tn - tail;
    const char *seg = firstStar + 1;
    while (seg < lastStar) {
        const char *segEnd = static_cast<const char *>(memchr(seg, '%', size_t(lastStar - seg)));
        if (!segEnd)
            segEnd = lastStar;
        const size_t len = size_t(segEnd - seg);
        if (len > 0) {
            const char *found = TextMatch::find(ts, te, seg, len);
            if (!found)
                return false;
            ts = found + len;
        }
        seg = segEnd + 1;
    }
    return true;
}

} // namespace

namespace TextMatch {

const char *find(const char *from, const char *end, const char *needle, size_t size)
{
    if (size == 0)
        return from;
    const char *found = nullptr;
    forEachMatch(from, end, needle, size, [&](const char *match) {
        found = match;
        return end;
    });
    return found;
}

QByteArray fold(QStringView text)
{
    QByteArray out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            out.append(char(u >= 'A' && u <= 'Z' ? u + 32 : u));
            continue;
        }
        char32_t ucs = u;
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ucs = QChar::surrogateToUcs4(u, text[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(u)) {
            ucs = QChar::ReplacementCharacter;
        }
        appendUtf8(out, QChar::toCaseFolded(ucs));
    }
    return out;
}

void appendFoldedUtf8(QByteArray &out, QByteArrayView utf8)
{
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const qsizetype n = utf8.size();
    qsizetype i = 0;
    while (i < n) {
        // Runs of ASCII, most of any Italian text, are lowered in bulk rather than appended byte by byte.
        qsizetype run = i;
        while (run < n && p[run] < 0x80)
            ++run;
        if (run > i) {
            const qsizetype at = out.size();
            out.resize(at + (run - i));
            char *to = out.data() + at;
            for (qsizetype k = i; k < run; ++k)
                *to++ = char(unsigned(p[k] - 'A') < 26u ? p[k] + 32 : p[k]);
            i = run;
            continue;
        }
        const unsigned char b = p[i];
        if (b >= 0xC2 && b < 0xE0 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
            static const TwoByteFolds twoByte;
            const auto &f = twoByte.fold[char32_t(b & 0x1F) << 6 | (p[i + 1] & 0x3F)];
            out.append(f.bytes, f.size);
            i += 2;
            continue;
        }
        char32_t c = 0;
        qsizetype len = 0;
        if (b >= 0xE0 && b < 0xF0 && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
            c = char32_t(b & 0x0F) << 12 | char32_t(p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F);
            len = 3;
        } else if (b >= 0xF0 && b < 0xF5 && i + 3 < n && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80 &&
                   (p[i + 3] & 0xC0) == 0x80) {
            c = char32_t(b & 0x07) << 18 | char32_t(p[i + 1] & 0x3F) << 12 | char32_t(p[i + 2] & 0x3F) << 6 |
                (p[i + 3] & 0x3F);
            len = 4;
        }
        if (len == 0 || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF || (len == 3 && c < 0x800) ||
            (len == 4 && c < 0x10000)) {
            // Not well-formed: the one slow rule decides, so both routes agree on every byte.
            qsizetype j = i + 1;
            while (j < n && (p[j] & 0xC0) == 0x80 && j - i < 4)
                ++j;
            out.append(fold(QString::fromUtf8(utf8.sliced(i, j - i))));
            i = j;
            continue;
        }
        appendUtf8(out, QChar::toCaseFolded(c));
        i += len;
    }
}

FoldedPattern::FoldedPattern(QStringView pattern) : m_pattern(fold(pattern))
{
    m_plainSegments = !m_pattern.contains('_');
    m_contains = m_plainSegments && m_pattern.size() >= 2 && m_pattern.startsWith('%') && m_pattern.endsWith('%') &&
                 !QByteArrayView(m_pattern).sliced(1, m_pattern.size() - 2).contains('%');
}

bool FoldedPattern::matches(QByteArrayView foldedText) const
{
    if (m_contains) {
        const QByteArrayView run = this->run();
        return run.isEmpty() || find(foldedText.data(), foldedText.data() + foldedText.size(), run.data(),
                                     size_t(run.size())) != nullptr;
    }
    return m_plainSegments
               ? segmentMatch(foldedText.data(), size_t(foldedText.size()), m_pattern.constData(),
                              size_t(m_pattern.size()))
               : wildcardMatch(foldedText.data(), size_t(foldedText.size()), m_pattern.constData(),
                               size_t(m_pattern.size()));
}

bool like(QStringView text, QStringView pattern)
{
    return FoldedPattern(pattern).matches(fold(text));
}

static bool isPairAt(QStringView s, qsizetype i)
{
    return i >= 0 && i + 1 < s.size() && s[i].isHighSurrogate() && s[i + 1].isLowSurrogate();
}

QStringView leftCharacters(QStringView text, qint64 n)
{
    qsizetype end = 0;
    for (; n > 0 && end < text.size(); --n)
        end += isPairAt(text, end) ? 2 : 1;
    return text.first(end);
}

QStringView rightCharacters(QStringView text, qint64 n)
{
    qsizetype start = text.size();
    for (; n > 0 && start > 0; --n)
        start -= isPairAt(text, start - 2) ? 2 : 1;
    return text.sliced(start);
}

QByteArrayView leftCharacters(QByteArrayView utf8, qint64 n)
{
    qsizetype i = 0;
    for (; i < utf8.size() && n > 0; --n) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        i += b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    }
    return utf8.first(qMin(i, utf8.size()));
}

QByteArrayView rightCharacters(QByteArrayView utf8, qint64 n)
{
    qsizetype i = utf8.size();
    for (; i > 0 && n > 0; --n) {
        --i;
        while (i > 0 && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80)
            --i;
    }
    return utf8.sliced(i);
}

namespace {

// Base letter (case-folded, accents dropped) of every character up to the end of Latin Extended-B,
// where an Italian glossary's terms live; 0 where only the full normalisation knows the answer.
struct LatinBases {
    char16_t base[0x250];
    LatinBases()
    {
        for (char32_t c = 0; c < 0x250; ++c) {
            QString d = QString(QChar(char16_t(c))).normalized(QString::NormalizationForm_D);
            d.removeIf([](QChar ch) { return ch.category() == QChar::Mark_NonSpacing; });
            d = d.toCaseFolded();
            base[c] = d.size() == 1 && d[0].unicode() < 0x250 ? d[0].unicode() : 0;
        }
    }
};

} // namespace

QByteArray sortKey(QStringView text)
{
    QByteArray key;
    key.reserve(text.size() * 3 + 8);
    appendSortKey(key, key, text);
    return key;
}

void appendSortKey(QByteArray &key, QByteArray &utf8, QStringView text)
{
    static const LatinBases latin;
    const qsizetype start = key.size();
    bool latinOnly = true;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x250 || latin.base[u] == 0) {
            latinOnly = false;
            break;
        }
        appendUtf8(key, latin.base[u]);
    }
    if (latinOnly) {
        key.append('\0');
        for (QChar c : text)
            appendUtf8(key, QChar::toCaseFolded(char32_t(c.unicode())));
        key.append('\0');
        for (QChar c : text)
            appendUtf8(utf8, char32_t(c.unicode()));
        return;
    }
    key.truncate(start);
    const QString original = text.toString();
    QString base = original.normalized(QString::NormalizationForm_D);
    base.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    key.append(fold(base));
    key.append('\0');
    key.append(fold(original.normalized(QString::NormalizationForm_C)));
    key.append('\0');
    utf8.append(original.toUtf8());
}

} // namespace TextMatch
