#include "TextMatch.h"

#include <QList>
#include <QString>

#include <cstring>

namespace {

bool isAscii(QStringView s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

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
    if (head > tn || memcmp(t, p, head) != 0)
        return false;
    const char *lastStar = firstStar;
    for (const char *q = pe - 1; q > firstStar; --q) {
        if (*q == '%') {
            lastStar = q;
            break;
        }
    }
    const size_t tail = size_t(pe - lastStar - 1);
    if (head + tail > tn || memcmp(t + tn - tail, lastStar + 1, tail) != 0)
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
            const void *found = memmem(ts, size_t(te - ts), seg, len);
            if (!found)
                return false;
            ts = static_cast<const char *>(found) + len;
        }
        seg = segEnd + 1;
    }
    return true;
}

} // namespace

namespace TextMatch {

QByteArray fold(QStringView text)
{
    QByteArray out;
    out.reserve(text.size());
    if (isAscii(text)) {
        for (QChar c : text) {
            const char16_t u = c.unicode();
            out.append(char(u >= 'A' && u <= 'Z' ? u + 32 : u));
        }
        return out;
    }
    QString folded;
    folded.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t ucs = text[i].unicode();
        if (QChar::isHighSurrogate(ucs) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ucs = QChar::surrogateToUcs4(char16_t(ucs), text[i + 1].unicode());
            ++i;
        }
        ucs = QChar::toCaseFolded(ucs);
        if (QChar::requiresSurrogates(ucs)) {
            folded.append(QChar(QChar::highSurrogate(ucs)));
            folded.append(QChar(QChar::lowSurrogate(ucs)));
        } else {
            folded.append(QChar(char16_t(ucs)));
        }
    }
    return folded.toUtf8();
}

QByteArray foldUtf8(QByteArrayView utf8)
{
    QByteArray out;
    out.resize(utf8.size());
    char *o = out.data();
    qsizetype i = 0;
    const qsizetype n = utf8.size();
    while (i < n) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            *o++ = char(b >= 'A' && b <= 'Z' ? b + 32 : b);
            ++i;
            continue;
        }
        // Anything but plain ASCII goes through the one folding rule, so both routes agree.
        qsizetype j = i + 1;
        while (j < n && (static_cast<unsigned char>(utf8[j]) & 0xC0) == 0x80 && j - i < 4)
            ++j;
        const QByteArray piece = fold(QString::fromUtf8(utf8.sliced(i, j - i)));
        const qsizetype at = o - out.data();
        if (at + piece.size() > out.size()) {
            out.resize(at + piece.size() + (n - j));
            o = out.data() + at;
        }
        std::memcpy(o, piece.constData(), size_t(piece.size()));
        o += piece.size();
        i = j;
    }
    out.resize(o - out.data());
    return out;
}

FoldedPattern::FoldedPattern(QStringView pattern) : m_pattern(fold(pattern))
{
    m_plainSegments = !m_pattern.contains('_');
}

bool FoldedPattern::matches(QByteArrayView foldedText) const
{
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

QByteArray sortKey(QStringView text)
{
    QByteArray key;
    if (isAscii(text)) {
        // Same three parts as below; the first two coincide for plain ASCII.
        const QByteArray lower = fold(text);
        key.reserve(text.size() * 3 + 2);
        key.append(lower).append('\0').append(lower).append('\0').append(text.toLatin1());
        return key;
    }
    const QString original = text.toString();
    QString base = original.normalized(QString::NormalizationForm_D);
    base.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    key = fold(base);
    key.append('\0');
    key.append(fold(original.normalized(QString::NormalizationForm_C)));
    key.append('\0');
    key.append(original.toUtf8());
    return key;
}

} // namespace TextMatch
