#include "RawGlossary.h"
#include "WriterPlan.h"
#include "db/error/DbError.h"
#include "db/glossary/Store.h"
#include "db/mdb/JetCarryOver.h"
#include "db/mdb/JetFile.h"
#include "db/recordset/Recordset.h"
#include "support/Files.h"
#include "support/JetFixtures.h"
#include "support/TempGlossary.h"

#include <QFileInfo>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

// Only against a writer that hangs; no check depends on how fast anything runs.
constexpr int GuardMs = 60000;

QString initialDefinition(qint64 id)
{
    return QStringLiteral("definizione iniziale %1").arg(id);
}

QString definitionOf(qint64 id, const QString &term)
{
    return term == WriterPlan::initialTerm(id) ? initialDefinition(id) : WriterPlan::definition(term);
}

QString startFailure(QProcess &p)
{
    return QStringLiteral("killed_writer: %1 %2").arg(p.errorString(), QString::fromUtf8(p.readAllStandardError()));
}

} // namespace

class TestKilled : public QObject {
    Q_OBJECT

    std::unique_ptr<TempGlossary> m_glossary;
    // Every row the file must hold, with its term: the start, then each change the writer reported done.
    QMap<qint64, QString> m_terms;

    QString file() const { return m_glossary->file(); }

    void start(QProcess &p, const QStringList &arguments)
    {
        p.start(QStringLiteral(KILLED_WRITER), arguments);
        QVERIFY2(p.waitForStarted(GuardMs), qPrintable(startFailure(p)));
    }

    // Reads what the writer printed until it has reported `lines` changes.
    void waitForLines(QProcess &p, QByteArray &out, qsizetype lines)
    {
        while (out.count('\n') < lines) {
            QVERIFY2(p.waitForReadyRead(GuardMs), qPrintable(startFailure(p)));
            out += p.readAllStandardOutput();
        }
    }

    void kill(QProcess &p, QByteArray &out)
    {
        p.kill();
        QVERIFY(p.waitForFinished(GuardMs));
        QVERIFY2(p.exitStatus() == QProcess::CrashExit, qPrintable(startFailure(p)));
        out += p.readAllStandardOutput();
    }

    // Each whole line must be the next step of the writer's plan; a line cut by the kill never counts.
    void takeReports(int run, const QByteArray &out, qint64 *steps)
    {
        QList<QByteArray> lines = out.split('\n');
        lines.removeLast();
        *steps = lines.size();
        for (qint64 step = 0; step < lines.size(); ++step) {
            const QStringList parts = QString::fromUtf8(lines[step]).split(u' ');
            QCOMPARE(parts.size(), 3);
            const QString term = WriterPlan::term(run, step);
            QCOMPARE(parts[2], term);
            const qint64 id = parts[1].toLongLong();
            if (WriterPlan::adds(step)) {
                QCOMPARE(parts[0], QStringLiteral("added"));
                QVERIFY2(!m_terms.contains(id), qPrintable(QStringLiteral("ID %1 dato due volte").arg(id)));
            } else {
                QCOMPARE(parts[0], QStringLiteral("modified"));
                QCOMPARE(id, WriterPlan::target(step));
            }
            m_terms[id] = term;
        }
    }

    // The file after a kill: sound, holding every reported change, and otherwise at most the one change that
    // was in flight, whole or not at all.
    void checkFile(int run, qint64 inFlight)
    {
        QList<TempGlossary::StoredRow> seen;
        try {
            // The recordset opens first, so that it is the one that meets any journal the kill left behind.
            Recordset rs;
            rs.Open(store::QueryAllRows(), store::ConnectionString(), 1, 3, 1);
            while (!rs.Eof()) {
                seen.append({rs.Fields("ID").Value().toLongLong(), rs.Fields("Parola").Value().toString(),
                    rs.Fields("Definizione").Value().toString()});
                rs.MoveNext();
            }
        } catch (const DbError &e) {
            QFAIL(qPrintable(QStringLiteral("giro %1: %2 %3").arg(run).arg(e.number()).arg(e.description())));
        }
        std::sort(seen.begin(), seen.end(), [](const auto &a, const auto &b) { return a.id < b.id; });

        RawGlossary raw(file());
        QCOMPARE(raw.integrityCheck(), QStringLiteral("ok"));
        QString error;
        const QList<TempGlossary::StoredRow> rows = raw.rows(&error);
        QCOMPARE(error, QString());
        QCOMPARE(rows, seen);

        const QString inFlightTerm = WriterPlan::term(run, inFlight);
        qint64 inFlightId = 0;
        for (const auto &row : rows) {
            const auto known = m_terms.constFind(row.id);
            const bool asReported = known != m_terms.cend() && row.term == *known;
            const bool isInFlight = !asReported && row.term == inFlightTerm &&
                (WriterPlan::adds(inFlight) ? known == m_terms.cend() : row.id == WriterPlan::target(inFlight));
            QVERIFY2(asReported || isInFlight,
                qPrintable(QStringLiteral("giro %1: riga %2 \"%3\" inattesa").arg(run).arg(row.id).arg(row.term)));
            QVERIFY2(row.definition == definitionOf(row.id, row.term),
                qPrintable(QStringLiteral("giro %1: riga %2 scritta a metà").arg(run).arg(row.id)));
            if (isInFlight)
                inFlightId = row.id;
        }
        for (auto it = m_terms.cbegin(); it != m_terms.cend(); ++it) {
            QVERIFY2(std::any_of(rows.begin(), rows.end(), [&](const auto &row) { return row.id == it.key(); }),
                qPrintable(QStringLiteral("giro %1: la riga %2 \"%3\" riportata come scritta manca")
                               .arg(run)
                               .arg(it.key())
                               .arg(*it)));
        }
        // Done but not reported: from now on the file must keep it like any other.
        if (inFlightId != 0)
            m_terms[inFlightId] = inFlightTerm;
    }

    // One life of the writer: it reports `before` changes, goes on for a little while, and is killed.
    void runWriter(int run, int before, int moreMs, int *journals)
    {
        QProcess writer;
        start(writer, {QStringLiteral("write"), m_glossary->folder(), QString::number(run)});
        if (QTest::currentTestFailed())
            return;
        QByteArray out;
        waitForLines(writer, out, before);
        if (QTest::currentTestFailed())
            return;
        QThread::msleep(moreMs);
        kill(writer, out);
        if (QTest::currentTestFailed())
            return;
        if (QFile::exists(RawGlossary::journal(file())))
            ++*journals;
        qint64 steps = 0;
        takeReports(run, out, &steps);
        if (QTest::currentTestFailed())
            return;
        checkFile(run, steps);
    }

private slots:
    void init()
    {
        QList<GlossaryFile::Row> rows;
        for (qint64 id = 1; id <= WriterPlan::Targets; ++id)
            rows.append({WriterPlan::initialTerm(id), initialDefinition(id)});
        m_glossary = std::make_unique<TempGlossary>();
        m_glossary->add(rows);
        m_terms.clear();
        for (const auto &row : m_glossary->rows())
            m_terms[row.id] = row.term;
        QCOMPARE(m_terms.size(), qsizetype(WriterPlan::Targets));
    }

    void cleanup() { m_glossary.reset(); }

    void reportedChangesSurviveKills()
    {
        bool ok = false;
        const quint32 seed = qEnvironmentVariable("ZORVANE_FUZZ_SEED").toUInt(&ok);
        QRandomGenerator rng(ok ? seed : 7919);
        int journals = 0;
        for (int run = 1; run <= 25; ++run) {
            // Counted from a reported change as well as from the start, so that kills fall inside writes
            // however fast this machine writes.
            runWriter(run, int(rng.bounded(3)), 5 + int(rng.bounded(146)), &journals);
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("25 uccisioni, %d righe nel file, %d volte un journal rimasto", int(m_terms.size()), journals);
        QVERIFY(m_terms.size() > WriterPlan::Targets);
    }

    void halfDoneChangeIsUndoneByTheNextOpen()
    {
        const QList<TempGlossary::StoredRow> before = m_glossary->rows();
        const QByteArray bytesBefore = Files::bytesOf(file());
        QProcess holder;
        start(holder, {QStringLiteral("hold"), m_glossary->folder(), QStringLiteral("cambio a metà ")});
        QByteArray out;
        waitForLines(holder, out, 1);
        QCOMPARE(out, QByteArray("holding\n"));
        QVERIFY(QFileInfo(RawGlossary::journal(file())).size() > 0);
        // Part of the change is already in the file itself: only the journal can undo it.
        QVERIFY(Files::bytesOf(file()) != bytesBefore);
        kill(holder, out);

        Recordset rs;
        rs.Open(store::QueryAllTerms(), store::ConnectionString(), 1, 3, 1);
        QStringList terms;
        while (!rs.Eof()) {
            terms.append(rs.Fields("Parola").Value().toString());
            rs.MoveNext();
        }
        rs.Close();
        QCOMPARE(terms.size(), before.size());
        for (const auto &row : before)
            QVERIFY(terms.contains(row.term));
        QVERIFY(!QFile::exists(RawGlossary::journal(file())));
        RawGlossary raw(file());
        QCOMPARE(raw.integrityCheck(), QStringLiteral("ok"));
        QCOMPARE(raw.rows(), before);

        int journals = 0;
        runWriter(1, 2, 0, &journals);
    }

    // The real program, killed at random moments while it carries an old glossary over: under the
    // glossary's name there is always the untouched old file or the whole new one.
    void anOldGlossaryCarriedOverSurvivesKills()
    {
        const QString fixture = QStringLiteral("glossario-2003.mdb");
        const QByteArray original = Files::bytesOf(JetFixtures::path(fixture));
        const QList<GlossaryFile::Record> expected = JetFixtures::expected(fixture);
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("zorvane"));
        QVERIFY(QFile::copy(QStringLiteral(ZORVANE_PROGRAM), program));
        const QString glossary = JetFixtures::placeAsGlossary(fixture, dir.path());
        const QString kept = dir.filePath(QStringLiteral("QUORLAN-originale.mdb"));
        int writing = -1;
        const auto life = [&](int killAfterMs) -> int {
            QProcess p;
            p.start(program, {});
            if (!p.waitForStarted(GuardMs)) {
                QTest::qFail(qPrintable(p.errorString()), __FILE__, __LINE__);
                return 0;
            }
            QElapsedTimer clock;
            clock.start();
            // With no moment given, the life lasts until the work is done: that measures when the new file
            // begins and how long the whole takes.
            while (killAfterMs < 0 ? JetFile::isJetFile(glossary) && clock.elapsed() < GuardMs
                                   : clock.elapsed() < killAfterMs) {
                if (writing < 0 && QFile::exists(glossary + QStringLiteral(".conversione")))
                    writing = int(clock.elapsed());
                QThread::msleep(1);
            }
            p.kill();
            p.waitForFinished(GuardMs);
            return int(clock.elapsed());
        };
        const int whole = life(-1);
        QVERIFY(!JetFile::isJetFile(glossary));

        bool ok = false;
        const quint32 seed = qEnvironmentVariable("ZORVANE_FUZZ_SEED").toUInt(&ok);
        QRandomGenerator rng(ok ? seed : 104729);
        int untouched = 0;
        for (int run = 0; run < 30; ++run) {
            if (!JetFile::isJetFile(glossary)) {
                QVERIFY(GlossaryFile::readRecords(glossary) == expected);
                QCOMPARE(Files::bytesOf(kept), original);
                for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
                    if (name != u"zorvane")
                        QVERIFY(QFile::remove(dir.filePath(name)));
                JetFixtures::placeAsGlossary(fixture, dir.path());
            }
            // From a little before the new file is begun to a while after the work is done.
            const int from = std::max(0, writing - 10);
            life(from + int(rng.bounded(whole + 40 - from)));
            if (QTest::currentTestFailed())
                return;
            if (JetFile::isJetFile(glossary)) {
                QCOMPARE(Files::bytesOf(glossary), original);
                ++untouched;
            }
        }
        // Whatever the last kill left, the next start finishes the work, with one kept original.
        if (JetFile::isJetFile(glossary))
            JetCarryOver::run(glossary, GlossaryFile::DefaultPassword);
        QVERIFY(GlossaryFile::readRecords(glossary) == expected);
        QCOMPARE(Files::bytesOf(kept), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"QUORLAN-originale.mdb", "QUORLAN.mdb", "zorvane"}));
        qInfo("30 uccisioni tra %d e %d ms: %d volte il vecchio file intatto", writing, whole, untouched);
    }
};

QTEST_GUILESS_MAIN(TestKilled)
#include "tst_killed.moc"
