#include "TextMatch.h"

#include <QList>
#include <QString>

#include <string>

namespace {

bool isAscii(QStringView s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// Case folding works on whole code points so that "_" matches one character, not one UTF-16 unit.
std::u32string folded(QStringView s)
{
    std::u32string out;
    out.reserve(s.size());
    if (isAscii(s)) {
        for (QChar c : s) {
            char16_t u = c.unicode();
            out.push_back(u >= 'A' && u <= 'Z' ? u + 32 : u);
        }
        return out;
    }
    const QList<uint> ucs = s.toString().toCaseFolded().toUcs4();
    for (uint u : ucs)
        out.push_back(char32_t(u));
    return out;
}

bool wildcardMatch(const std::u32string &t, const std::u32string &p)
{
    size_t ti = 0, pi = 0;
    size_t starP = std::u32string::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && (p[pi] == U'_' || p[pi] == t[ti])) {
            ++pi;
            ++ti;
        } else if (pi < p.size() && p[pi] == U'%') {
            starP = pi++;
            starT = ti;
        } else if (starP != std::u32string::npos) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'%')
        ++pi;
    return pi == p.size();
}

} // namespace

namespace TextMatch {

bool like(QStringView text, QStringView pattern)
{
    return wildcardMatch(folded(text), folded(pattern));
}

QByteArray sortKey(QStringView text)
{
    QByteArray key;
    if (isAscii(text)) {
        // Same three parts as below; the first two coincide for plain ASCII.
        QByteArray lower;
        lower.reserve(text.size());
        for (QChar c : text) {
            char16_t u = c.unicode();
            lower.append(char(u >= 'A' && u <= 'Z' ? u + 32 : u));
        }
        key.reserve(text.size() * 3 + 2);
        key.append(lower).append('\0').append(lower).append('\0').append(text.toLatin1());
        return key;
    }
    const QString original = text.toString();
    QString base = original.normalized(QString::NormalizationForm_D);
    base.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    key = base.toCaseFolded().toUtf8();
    key.append('\0');
    key.append(original.toCaseFolded().normalized(QString::NormalizationForm_C).toUtf8());
    key.append('\0');
    key.append(original.toUtf8());
    return key;
}

} // namespace TextMatch
