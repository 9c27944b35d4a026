#include "DbError.h"
#include "Files.h"
#include "FuzzRun.h"
#include "GlossaryFile.h"
#include "JetFile.h"
#include "JetFixtures.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <map>

// Old-format glossaries with one byte changed: each is either refused with a number, or read with exactly
// the rows of the original but for what the changed byte itself held (a character of a text, an ID, the
// null bit that tells an empty text from a missing one). ZORVANE_FUZZ_CASES mutants per row (default 40),
// from ZORVANE_FUZZ_SEED.
namespace {

using Records = QList<GlossaryFile::Record>;
constexpr int PageSize = 4096;

quint16 u16(const QByteArray &b, qint64 at)
{
    return quint16(quint8(b[at]) | (quint8(b[at + 1]) << 8));
}

quint32 u32(const QByteArray &b, qint64 at)
{
    return u16(b, at) | (quint32(u16(b, at + 2)) << 16);
}

enum class Region { Definition, PageHeaders, RowEdges, Anywhere };

// The bytes of a region, found as the format lays them out: the table definition's fields, the header and
// row offsets of every page of the table and of its long values, the first and last bytes of every row
// (column count, ID, the last value's header, the offsets and the null mask), or any byte at all.
QList<qint64> offsetsOf(const QByteArray &file, quint32 definition, Region region)
{
    QList<qint64> at;
    const auto span = [&](qint64 from, qint64 to) {
        for (qint64 i = from; i < to; ++i)
            at.append(i);
    };
    if (region == Region::Definition)
        span(qint64(definition) * PageSize, qint64(definition) * PageSize + 0x100);
    if (region == Region::Anywhere)
        span(0, file.size());
    for (qint64 page = qint64(file.size()) / PageSize - 1; page > 0 && region > Region::Definition; --page) {
        const qint64 base = page * PageSize;
        const bool longValues = file.mid(base + 4, 4) == "LVAL";
        if (file[base] != 1 || (!longValues && u32(file, base + 4) != definition))
            continue;
        const int rows = u16(file, base + 12);
        if (region == Region::PageHeaders)
            span(base, base + 14 + 2 * rows);
        for (int r = 0; r < rows && region == Region::RowEdges; ++r) {
            const int start = u16(file, base + 14 + 2 * r) & 0x1fff;
            const int end = r == 0 ? PageSize : u16(file, base + 12 + 2 * r) & 0x1fff;
            if (start >= end || (u16(file, base + 14 + 2 * r) & 0x8000))
                continue;
            span(base + start, base + std::min(end, start + 6));
            if (!longValues)
                span(base + std::max(start, end - 24), base + end);
        }
    }
    return at;
}

// How a text may have been stored: UTF-16, or one byte a character after FF FE when every one fits.
QList<QByteArray> encodings(const QString &text)
{
    QList<QByteArray> all {QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2)};
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0 && c.unicode() < 256; }))
        all.append("\xff\xfe" + text.toLatin1());
    return all;
}

// Whether the original file holds, around the changed byte, the stored form of the text at the place where
// what was read first differs from it: then the change is in the text's own bytes.
bool changedWithin(const QByteArray &file, qint64 at, const QString &was, const QString &now)
{
    qsizetype k = 0;
    while (k < was.size() && k < now.size() && was[k] == now[k])
        ++k;
    for (const QByteArray &stored : encodings(was)) {
        const qsizetype perChar = stored.startsWith("\xff\xfe") ? 1 : 2;
        const qsizetype first = (stored.startsWith("\xff\xfe") ? 2 : 0) + k * perChar;
        for (qsizetype b = std::max<qsizetype>(0, first - 2); b <= first + 1 && b < stored.size(); ++b) {
            const QByteArray before = stored.mid(std::max<qsizetype>(0, b - 8), std::min<qsizetype>(b, 8) + 1);
            const QByteArray after = stored.mid(b, 9);
            if (file.mid(at - before.size() + 1, before.size()) == before || file.mid(at, after.size()) == after)
                return true;
        }
    }
    return false;
}

bool idWithin(const QByteArray &file, qint64 at, qint64 id)
{
    for (qint64 j = 0; j < 4; ++j) {
        if (at - j >= 0 && at - j + 4 <= file.size() && u32(file, at - j) == quint32(id))
            return true;
    }
    return false;
}

// Empty when what was read is justified by the byte changed at `at`; otherwise what is wrong.
QString unjustified(const QByteArray &original, qint64 at, const Records &expected, const Records &read)
{
    if (read.size() != expected.size())
        return QStringLiteral("%1 rows instead of %2").arg(read.size()).arg(expected.size());
    std::map<qint64, GlossaryFile::Record> lost, found;
    for (const auto &r : expected)
        lost[r.id] = r;
    for (const auto &r : read) {
        if (lost.count(r.id) && lost[r.id] == r)
            lost.erase(r.id);
        else
            found[r.id] = r;
    }
    if (lost.empty())
        return {};
    if (lost.size() != 1 || found.size() != 1)
        return QStringLiteral("%1 rows differ").arg(lost.size());
    const GlossaryFile::Record &was = lost.begin()->second, &now = found.begin()->second;
    if (was.id != now.id)
        return was.term == now.term && was.definition == now.definition && idWithin(original, at, was.id)
            ? QString()
            : QStringLiteral("ID %1 became %2").arg(was.id).arg(now.id);
    const bool termChanged = was.term != now.term;
    if (termChanged && was.definition != now.definition)
        return QStringLiteral("both texts of ID %1 changed").arg(was.id);
    const auto &before = termChanged ? was.term : was.definition;
    const auto &after = termChanged ? now.term : now.definition;
    // The null bit alone: a text with no bytes is either empty or missing.
    if (before.value_or(QString()).isEmpty() && after.value_or(QString()).isEmpty())
        return {};
    if (before && after && changedWithin(original, at, *before, *after))
        return {};
    return QStringLiteral("a text of ID %1 changed by a byte outside it").arg(was.id);
}

} // namespace

Q_DECLARE_METATYPE(Region)

class TestJetMutants : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const FuzzRun run = FuzzRun::fromEnvironment(m_seed, m_cases);
        m_seed = run.seed;
        m_cases = run.cases;
    }

    void oneChangedByteIsRefusedOrReadAsItSays_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint32>("definition"); // the page of Tbl_Zorvane's definition
        QTest::addColumn<Region>("region");
        const std::pair<const char *, quint32> files[] = {
            {"glossario-2000.mdb", 24}, {"glossario-2003.mdb", 50}, {"senza-password.mdb", 24}};
        const std::pair<const char *, Region> regions[] = {{"table definition", Region::Definition},
                                                           {"page headers", Region::PageHeaders},
                                                           {"row edges", Region::RowEdges},
                                                           {"anywhere", Region::Anywhere}};
        for (const auto &[name, definition] : files) {
            for (const auto &[what, region] : regions)
                QTest::addRow("%s, %s", name, what) << QString::fromLatin1(name) << definition << region;
        }
    }

    void oneChangedByteIsRefusedOrReadAsItSays()
    {
        QFETCH(QString, name);
        QFETCH(quint32, definition);
        QFETCH(Region, region);
        const QByteArray original = Files::bytesOf(JetFixtures::path(name));
        const Records expected = JetFixtures::expected(name);
        const QList<qint64> offsets = offsetsOf(original, definition, region);
        QVERIFY(!offsets.isEmpty());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mutante.mdb"));
        QRandomGenerator rng(m_seed ^ qHash(QTest::currentDataTag()));
        std::map<int, int> outcomes; // failure number, 0 for a file read
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < m_cases; ++i) {
            const qint64 at = offsets[rng.bounded(offsets.size())];
            QByteArray mutant = original;
            const auto was = quint8(original[at]);
            const quint8 choices[] = {quint8(was ^ (1 << rng.bounded(8))),
                                      0,
                                      0xff,
                                      quint8(was + 1),
                                      quint8(was - 1),
                                      quint8(rng.bounded(256))};
            mutant[at] = char(choices[rng.bounded(6)]);
            if (mutant[at] == original[at])
                continue;
            Files::writeFile(path, mutant);
            try {
                JetFile file(path, GlossaryFile::DefaultPassword);
                const QString wrong = unjustified(original, at, expected, file.readAll());
                QVERIFY2(wrong.isEmpty(),
                         qPrintable(QStringLiteral("byte 0x%1 from 0x%2 to 0x%3 read with %4")
                                        .arg(at, 0, 16)
                                        .arg(was, 2, 16, QChar(u'0'))
                                        .arg(quint8(mutant[at]), 2, 16, QChar(u'0'))
                                        .arg(wrong)));
                ++outcomes[0];
            } catch (const DbError &e) {
                QVERIFY2(e.number() == DbError::Corrupt || e.number() == DbError::NotAGlossary ||
                             e.number() == DbError::WrongPassword,
                         qPrintable(QStringLiteral("byte 0x%1: %2").arg(at, 0, 16).arg(e.number())));
                ++outcomes[e.number()];
            }
        }
        // Only the mutants that changed a byte are counted: a byte set to what it was is no mutant.
        QString summary;
        int made = 0;
        for (const auto &[number, count] : outcomes) {
            const QString what = number == 0 ? QStringLiteral("read") : QString::number(number);
            summary += QStringLiteral(" %1: %2").arg(what).arg(count);
            made += count;
        }
        qInfo("%d mutants in %lld ms;%s", made, timer.elapsed(), qPrintable(summary));
    }

private:
    quint32 m_seed = 20261208;
    int m_cases = 40;
};

QTEST_GUILESS_MAIN(TestJetMutants)
#include "tst_jetmutants.moc"
