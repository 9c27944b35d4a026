#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

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

private:
    QByteArray m_pattern;
    bool m_plainSegments = true; // no "_": every run between "%" is found with a plain substring search
};

// Finds a folded needle in folded text: the places where its first and last bytes both stand are picked
// out sixteen bytes at a time and only those are compared whole, which on text runs several times faster
// than memmem.
const char *find(const char *from, const char *end, const char *needle, size_t size);

class Finder {
public:
    explicit Finder(QByteArray needle) : m_needle(std::move(needle)) {}
    const char *find(const char *from, const char *end) const
    {
        return TextMatch::find(from, end, m_needle.constData(), size_t(m_needle.size()));
    }

private:
    QByteArray m_needle;
};

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
void appendSortKey(QByteArray &out, QStringView text);

} // namespace TextMatch
