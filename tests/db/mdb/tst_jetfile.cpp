#include "db/error/DbError.h"
#include "db/glossary/GlossaryFile.h"
#include "db/glossary/Store.h"
#include "db/mdb/JetCarryOver.h"
#include "db/mdb/JetFile.h"
#include "db/recordset/Recordset.h"
#include "support/FailureNumber.h"
#include "support/Files.h"
#include "support/FuzzRun.h"
#include "support/JetFixtures.h"
#include "support/ReadOnlyPath.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <map>

namespace {

using Records = QList<GlossaryFile::Record>;
const QString Password = GlossaryFile::DefaultPassword;

using Files::bytesOf;
using Files::entries;
using Files::writeFile;

// Compares row by row, so that a failure names the first ID that differs instead of 329 rows at once.
void verifyRows(const Records &actual, const Records &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(actual[i].id, expected[i].id);
        QVERIFY2(actual[i].term == expected[i].term, qPrintable(QStringLiteral("Parola of ID %1").arg(expected[i].id)));
        QVERIFY2(actual[i].definition == expected[i].definition,
                 qPrintable(QStringLiteral("Definizione of ID %1").arg(expected[i].id)));
    }
}

// The raw fields the mutants are placed by, as the format lays them out.
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

class TestJetFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const FuzzRun run = FuzzRun::fromEnvironment(m_seed, m_cases);
        m_seed = run.seed;
        m_cases = run.cases;
    }

    void readsEveryFieldOfEveryRow_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        // Access 2000 compresses texts and has two rows moved behind pointers; 2002-2003 stores UTF-16.
        QTest::newRow("Access 2000") << "glossario-2000.mdb" << GlossaryFile::DefaultPassword;
        QTest::newRow("Access 2002-2003") << "glossario-2003.mdb" << GlossaryFile::DefaultPassword;
        QTest::newRow("no password opens with ours") << "senza-password.mdb" << GlossaryFile::DefaultPassword;
    }

    void readsEveryFieldOfEveryRow()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        JetFile file(JetFixtures::path(name), password);
        const QList<GlossaryFile::Record> rows = file.readAll();
        verifyRows(rows, JetFixtures::expected(name));
        if (name.startsWith(u"glossario")) {
            // The traps of the library, each named: a value past its bind buffer, characters outside the
            // BMP, a null apart from an empty text, and the AutoNumber's memory of deleted rows.
            const auto byId = [&](qint64 id) {
                return *std::find_if(rows.cbegin(), rows.cend(), [&](const auto &r) { return r.id == id; });
            };
            QCOMPARE(byId(315).definition->size(), 300073);
            QVERIFY(std::any_of(byId(324).term->cbegin(), byId(324).term->cend(),
                                [](QChar c) { return c.isHighSurrogate(); }));
            QVERIFY(!byId(324).definition->contains(QStringLiteral("??")));
            QVERIFY(byId(316).definition.has_value() && byId(316).definition->isEmpty());
            QVERIFY(!byId(317).definition.has_value());
            QCOMPARE(file.lastAutoNumber(), 70002);
        }
    }

    void storedPassword_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::newRow("2000") << "glossario-2000.mdb" << GlossaryFile::DefaultPassword;
        QTest::newRow("2003") << "glossario-2003.mdb" << GlossaryFile::DefaultPassword;
        QTest::newRow("another") << "altra-password.mdb"
                                 << "ALTRA";
        QTest::newRow("none") << "senza-password.mdb"
                              << "";
    }

    void storedPassword()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFile file(JetFixtures::path(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(JetFile::storedPassword(file.read(4096)), std::optional<QString>(password));
    }

    void refusesWhatIsNotASoundGlossary_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("keepBytes"); // 0: the whole fixture
        QTest::addColumn<qint64>("patchAt"); // where `patch` is written over a copy, when it is not empty
        QTest::addColumn<QByteArray>("patch");
        QTest::addColumn<int>("number");
        const auto whole = [](const char *row, const char *name, int number) {
            QTest::newRow(row) << name << qint64(0) << qint64(0) << QByteArray() << number;
        };
        whole("another password", "altra-password.mdb", DbError::WrongPassword);
        whole("no Tbl_Zorvane", "senza-tabella.mdb", DbError::NotAGlossary);
        whole("truncated mid-page", "troncato.mdb", DbError::Corrupt);
        // Whole pages, so that only the references past the end can tell.
        QTest::newRow("cut at a page boundary")
            << "glossario-2000.mdb" << qint64(101 * 4096) << qint64(0) << QByteArray() << int(DbError::Corrupt);
        QTest::newRow("catalogue cut") << "glossario-2003.mdb" << qint64(2 * 4096) << qint64(0) << QByteArray()
                                       << int(DbError::Corrupt);

        // A file that says of itself what its bytes do not hold. In glossario-2000.mdb the table is
        // defined on page 24 (0x18000), its first rows are on page 28 and ID 314's definition is a chain
        // of 30 long-value pages from page 0x3d.
        const auto lie = [](const char *row, qint64 at, const QByteArray &bytes) {
            QTest::newRow(row) << "glossario-2000.mdb" << qint64(0) << at << bytes << int(DbError::Corrupt);
        };
        lie("a long-value chain back to its own third page", 0x40015, QByteArray("\x3f", 1));
        lie("a long value declared 2 bytes short", 0x1cfeb, QByteArray("\x21", 1));
        lie("a long value declared empty", 0x1cfeb, QByteArray("\0\0", 2));
        lie("no variable columns in the definition", 0x18000 + 43, QByteArray("\0", 1));
        lie("the definition a text column", 0x18000 + 0x7d, QByteArray("\x0a", 1));
        QTest::newRow("the definition a text column, 2003")
            << "glossario-2003.mdb" << qint64(0) << qint64(50 * 4096 + 0x7d) << QByteArray("\x0a", 1)
            << int(DbError::Corrupt);
        lie("the definition at another variable place", 0x18000 + 0x7d + 7, QByteArray("\x02", 1));
        lie("the definition at the term's variable place", 0x18000 + 0x7d + 7, QByteArray("\0", 1));
        lie("a row starting in its page's header", 28 * 4096 + 14 + 2, QByteArray("\0\0", 2));
        lie("a long value starting in its page's header", 27 * 4096 + 14, QByteArray("\0\0", 2));
        lie("a row running into the next", 28 * 4096 + 14 + 2, QByteArray("\xe0\x0f", 2));
        lie("a billion rows counted", 0x18000 + 16, QByteArray("\xff\xff\xff\x3f", 4));
    }

    void refusesWhatIsNotASoundGlossary()
    {
        QFETCH(QString, name);
        QFETCH(qint64, keepBytes);
        QFETCH(qint64, patchAt);
        QFETCH(QByteArray, patch);
        QFETCH(int, number);
        QTemporaryDir dir;
        QString file = JetFixtures::path(name);
        if (keepBytes > 0 || !patch.isEmpty()) {
            QByteArray bytes = bytesOf(file);
            if (keepBytes > 0)
                bytes.truncate(keepBytes);
            bytes.replace(patchAt, patch.size(), patch);
            file = dir.filePath(QStringLiteral("alterato.mdb"));
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(bytes);
        }
        QVERIFY(JetFile::isJetFile(file));
        const auto read = [&] {
            JetFile jet(file, Password);
            jet.readAll();
        };
        QCOMPARE(failureNumber(read), number);
    }

    void carriesOverOnceAndKeepsTheOriginal_data()
    {
        QTest::addColumn<QString>("onKeptName"); // "file", or where a link named like the kept original leads
        QTest::addColumn<bool>("elsewhere"); // the glossary's own name a link to an old file in another folder
        QTest::newRow("a file on the kept name") << "file" << false;
        QTest::newRow("a dangling link on the kept name") << "nessuno.mdb" << false;
        QTest::newRow("a link on the kept name to the glossary") << "QUORLAN.mdb" << false;
        QTest::newRow("the glossary a link to an old file") << QString() << true;
    }

    // Names beside the glossary are looked at, never followed, and one already there is never overwritten.
    void carriesOverOnceAndKeepsTheOriginal()
    {
        QFETCH(QString, onKeptName);
        QFETCH(bool, elsewhere);
        QTemporaryDir dir;
        const QString fixture = QStringLiteral("glossario-2000.mdb");
        const QString glossary = JetFixtures::placeAsGlossary(fixture, dir.path());
        QString old = glossary;
        if (elsewhere) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("altrove")));
            old = dir.filePath(QStringLiteral("altrove/vecchio.mdb"));
            QVERIFY(QFile::rename(glossary, old));
            QVERIFY(QFile::link(QStringLiteral("altrove/vecchio.mdb"), glossary));
        }
        const QString taken = dir.filePath(QStringLiteral("QUORLAN-originale.mdb"));
        if (onKeptName == u"file")
            writeFile(taken, "altro");
        else if (!onKeptName.isEmpty())
            QVERIFY(QFile::link(onKeptName, taken));
        QVERIFY(JetCarryOver::needed(glossary));

        QList<qsizetype> written;
        const JetCarryOver::Result result =
            JetCarryOver::run(glossary, Password, [&](JetCarryOver::Phase phase, qsizetype done, qsizetype) {
                if (phase == JetCarryOver::Phase::Writing)
                    written.append(done);
            });
        QCOMPARE(result.rows, 329);
        QCOMPARE(written.last(), 329);
        QCOMPARE(result.keptAs,
                 elsewhere ? dir.filePath(QStringLiteral("altrove/vecchio-originale.mdb"))
                           : dir.filePath(QStringLiteral("QUORLAN-originale-2.mdb")));
        QCOMPARE(result.linkedTo, elsewhere ? old : QString());
        QCOMPARE(entries(QFileInfo(result.keptAs).path()),
                 elsewhere ? QStringList({"vecchio-originale.mdb", "vecchio.mdb"})
                           : QStringList({"QUORLAN-originale-2.mdb", "QUORLAN-originale.mdb", "QUORLAN.mdb"}));
        QVERIFY(!QFileInfo(result.keptAs).isSymLink());
        QCOMPARE(bytesOf(result.keptAs), bytesOf(JetFixtures::path(fixture)));
        QCOMPARE(QFileInfo(glossary).isSymLink(), elsewhere);
        if (onKeptName == u"file")
            QCOMPARE(bytesOf(taken), QByteArray("altro"));
        else if (!onKeptName.isEmpty())
            QCOMPARE(QFileInfo(taken).symLinkTarget(), dir.filePath(onKeptName));
        QVERIFY(!JetCarryOver::needed(glossary));
        verifyRows(GlossaryFile::readRecords(glossary), JetFixtures::expected(fixture));

        // The next new term gets the number after the last one the old file handed out (70002, deleted).
        store::setAppPath(dir.path());
        Recordset rs;
        rs.Open(store::QueryAllRows(), store::ConnectionString(), 1, 3, 1);
        rs.AddNew();
        QCOMPARE(rs.Fields(QStringLiteral("ID")).Value().toLongLong(), 70003);
        rs.Close();
    }

    void aFailureLeavesTheOldFileAsItWas_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::addColumn<int>("number");
        QTest::newRow("another password") << "altra-password.mdb" << false << int(DbError::WrongPassword);
        QTest::newRow("no Tbl_Zorvane") << "senza-tabella.mdb" << false << int(DbError::NotAGlossary);
        QTest::newRow("truncated") << "troncato.mdb" << false << int(DbError::Corrupt);
        QTest::newRow("read-only folder") << "glossario-2003.mdb" << true << int(DbError::FileLocked);
    }

    void aFailureLeavesTheOldFileAsItWas()
    {
        QFETCH(QString, name);
        QFETCH(bool, readOnlyFolder);
        QFETCH(int, number);
        QTemporaryDir dir;
        const QString glossary = JetFixtures::placeAsGlossary(name, dir.path());
        std::optional<ReadOnlyPath> readOnly;
        if (readOnlyFolder) {
            readOnly.emplace(dir.path());
            if (readOnly->writable())
                QSKIP("the folder cannot be made read-only here");
        }
        QCOMPARE(failureNumber([&] { JetCarryOver::run(glossary, Password); }), number);
        QCOMPARE(entries(dir.path()), QStringList({"QUORLAN.mdb"}));
        QCOMPARE(bytesOf(glossary), bytesOf(JetFixtures::path(name)));
    }

    // Old-format glossaries with one byte changed: each is either refused with a number, or read with exactly
    // the rows of the original but for what the changed byte itself held (a character of a text, an ID, the
    // null bit that tells an empty text from a missing one). ZORVANE_FUZZ_CASES mutants per row (default 40),
    // from ZORVANE_FUZZ_SEED.
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

QTEST_GUILESS_MAIN(TestJetFile)
#include "tst_jetfile.moc"
