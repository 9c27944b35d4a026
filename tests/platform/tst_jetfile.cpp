#include "DbError.h"
#include "FailureNumber.h"
#include "Files.h"
#include "GlossaryFile.h"
#include "JetCarryOver.h"
#include "JetFile.h"
#include "JetFixtures.h"
#include "ReadOnlyPath.h"
#include "Recordset.h"
#include "Store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Password = GlossaryFile::DefaultPassword;

using Files::bytesOf;
using Files::entries;
using Files::writeFile;

// Compares row by row, so that a failure names the first ID that differs instead of 329 rows at once.
void verifyRows(const QList<GlossaryFile::Record> &actual, const QList<GlossaryFile::Record> &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(actual[i].id, expected[i].id);
        QVERIFY2(actual[i].term == expected[i].term, qPrintable(QStringLiteral("Parola of ID %1").arg(expected[i].id)));
        QVERIFY2(actual[i].definition == expected[i].definition,
                 qPrintable(QStringLiteral("Definizione of ID %1").arg(expected[i].id)));
    }
}

} // namespace

class TestJetFile : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(TestJetFile)
#include "tst_jetfile.moc"
