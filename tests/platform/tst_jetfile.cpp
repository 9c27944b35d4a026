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
            QVERIFY(std::any_of(byId(324).term->cbegin(), byId(324).term->cend(), [](QChar c) { return c.isHighSurrogate(); }));
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
        QTest::newRow("another") << "altra-password.mdb" << "ALTRA";
        QTest::newRow("none") << "senza-password.mdb" << "";
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
        QTest::addColumn<int>("number");
        QTest::newRow("another password") << "altra-password.mdb" << qint64(0) << int(DbError::WrongPassword);
        QTest::newRow("no Tbl_Zorvane") << "senza-tabella.mdb" << qint64(0) << int(DbError::NotAGlossary);
        QTest::newRow("truncated mid-page") << "troncato.mdb" << qint64(0) << int(DbError::Corrupt);
        // Whole pages, so that only the references past the end can tell.
        QTest::newRow("cut at a page boundary") << "glossario-2000.mdb" << qint64(101 * 4096) << int(DbError::Corrupt);
        QTest::newRow("catalogue cut") << "glossario-2003.mdb" << qint64(2 * 4096) << int(DbError::Corrupt);
    }

    void refusesWhatIsNotASoundGlossary()
    {
        QFETCH(QString, name);
        QFETCH(qint64, keepBytes);
        QFETCH(int, number);
        QTemporaryDir dir;
        QString file = JetFixtures::path(name);
        if (keepBytes > 0) {
            const QString cut = dir.filePath(QStringLiteral("tagliato.mdb"));
            QFile out(cut);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(bytesOf(file).left(keepBytes));
            file = cut;
        }
        QVERIFY(JetFile::isJetFile(file));
        const auto read = [&] {
            JetFile jet(file, Password);
            jet.readAll();
        };
        QCOMPARE(failureNumber(read), number);
    }

    void carriesOverOnceAndKeepsTheOriginal()
    {
        QTemporaryDir dir;
        const QString glossary = JetFixtures::placeAsGlossary(QStringLiteral("glossario-2000.mdb"), dir.path());
        // A name already taken by another file is never overwritten.
        QFile taken(dir.filePath(QStringLiteral("QUORLAN-originale.mdb")));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.write("altro");
        taken.close();
        QVERIFY(JetCarryOver::needed(glossary));

        QList<qsizetype> written;
        const JetCarryOver::Result result =
            JetCarryOver::run(glossary, Password, [&](JetCarryOver::Phase phase, qsizetype done, qsizetype) {
                if (phase == JetCarryOver::Phase::Writing)
                    written.append(done);
            });
        QCOMPARE(result.rows, 329);
        QCOMPARE(written.last(), 329);
        QCOMPARE(result.keptAs, dir.filePath(QStringLiteral("QUORLAN-originale-2.mdb")));
        QCOMPARE(entries(dir.path()), QStringList({"QUORLAN-originale-2.mdb", "QUORLAN-originale.mdb", "QUORLAN.mdb"}));
        QCOMPARE(bytesOf(result.keptAs), bytesOf(JetFixtures::path(QStringLiteral("glossario-2000.mdb"))));
        QCOMPARE(bytesOf(taken.fileName()), QByteArray("altro"));
        QVERIFY(!JetCarryOver::needed(glossary));
        verifyRows(GlossaryFile::readRecords(glossary), JetFixtures::expected(QStringLiteral("glossario-2000.mdb")));

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
