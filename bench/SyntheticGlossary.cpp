#include "SyntheticGlossary.h"

#include <QRandomGenerator>
#include <QStringList>

namespace {

const QStringList Syllables = {"ca", "se", "ri", "to", "là", "più", "gno", "ché", "stra", "ol", "ia", "ta", "ve",
                               "ro", "mo", "na", "de", "li", "fè", "bu", "zio", "ne", "pa", "ter", "cò", "mi",
                               "sca", "glia", "ù", "ar", "en", "bo", "ti", "qua", "gra", "vi", "lu", "ce", "do"};

// Syllables of borrowed words, names and codes: letters the common ones never use, so that the words made
// of them are as rare in the text as they are in a real glossary's long tail.
const QStringList RareSyllables = {"ka", "ke", "ki", "ko", "ku", "wa", "we", "wi", "wo", "wu", "xa", "xe", "xi", "xo",
                                   "xu", "ja", "je", "ji", "jo", "ju", "ya", "ye", "yi", "yo", "yu", "kà", "wò",
                                   "xé", "jù", "yè", "kr", "wy", "xk", "jy", "yk", "k7", "w2", "x9", "j4", "y0"};

QString word(QRandomGenerator &rng, int minSyllables, int maxSyllables)
{
    QString w;
    const int n = int(rng.bounded(minSyllables, maxSyllables + 1));
    for (int i = 0; i < n; ++i)
        w += Syllables[int(rng.bounded(Syllables.size()))];
    return w;
}

} // namespace

namespace SyntheticGlossary {

QString rareWord(int index)
{
    QRandomGenerator rng(quint32(index) + 1);
    return RareSyllables[int(rng.bounded(RareSyllables.size()))] + Syllables[int(rng.bounded(Syllables.size()))] +
           RareSyllables[int(rng.bounded(RareSyllables.size()))];
}

QList<GlossaryFile::Row> rows(int count, quint32 seed)
{
    QRandomGenerator rng(seed);
    // The rare words come from a generator of their own, so the rest of the text is the same as without them.
    QRandomGenerator rare(seed ^ 0x5a5a5a5au);
    QStringList vocabulary;
    for (int i = 0; i < 3000; ++i)
        vocabulary.append(word(rng, 1, 4));

    QList<GlossaryFile::Row> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        QStringList termWords;
        const int words = 1 + int(rng.bounded(4));
        for (int w = 0; w < words; ++w) {
            QString tw = word(rng, 2, 4);
            if (rng.bounded(12) == 0)
                tw.prepend(rng.bounded(2) ? QStringLiteral("l'") : QStringLiteral("dell'"));
            termWords.append(tw);
        }
        if (rng.bounded(5) == 0)
            termWords[0][0] = termWords[0][0].toUpper();

        // Mostly a line or three; one in four a paragraph; one in twenty a long article.
        const quint32 kind = rng.bounded(20);
        const int length = kind == 0 ? int(rng.bounded(1200, 4000)) : kind < 5 ? int(rng.bounded(250, 1200))
                                                                                 : int(rng.bounded(40, 250));
        QString definition;
        const bool multiLine = rng.bounded(7) == 0;
        while (definition.size() < length) {
            if (!definition.isEmpty())
                definition += multiLine && rng.bounded(12) == 0 ? QStringLiteral(".\n") : QStringLiteral(" ");
            definition += vocabulary[int(rng.bounded(vocabulary.size()))];
        }
        if (rare.bounded(4) == 0)
            definition += u' ' + rareWord(int(rare.bounded(RareWords)));
        definition += u'.';
        out.append({termWords.join(u' '), definition});
    }
    return out;
}

QString longDefinition(qsizetype chars, quint32 seed, bool lines)
{
    QRandomGenerator rng(seed);
    QString text;
    text.reserve(chars + 64);
    while (text.size() < chars) {
        for (int w = 0; w < 12; ++w)
            text += word(rng, 1, 4) + u' ';
        text += word(rng, 1, 4) + (lines ? QStringLiteral(".\n") : QStringLiteral(". "));
    }
    return text;
}

} // namespace SyntheticGlossary
