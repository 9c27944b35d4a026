#include "RawGlossary.h"
#include "db/glossary/Store.h"
#include "db/recordset/Recordset.h"
#include "support/Files.h"
#include "support/TempGlossary.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

constexpr int GuardMs = 60000;

const QString longDefinition = QStringLiteral("Paragrafo riservato sulla custodia dei glossari. ").repeated(200);

QList<GlossaryFile::Row> secretRows()
{
    return {{"Zefiroscopio", "strumento per misurare la brezza di ponente"},
        {"Perché-Città", "definizione accentata: perché la città è là"},
        {"Lunghissimo", longDefinition},
        {"ΣΟΦΊΑ", "sapienza in greco, con un 😀 nascosto"},
        {"Apostrofo", "l'abito non fa il monaco"}};
}

// Words long enough not to turn up in random bytes by chance, and whole texts where they are short.
QStringList needles(const QStringList &texts)
{
    QStringList out;
    static const QRegularExpression separators(QStringLiteral("[^\\w]+"), QRegularExpression::UseUnicodePropertiesOption);
    for (const QString &text : texts) {
        if (text.size() <= 200)
            out.append(text);
        for (const QString &word : text.split(separators, Qt::SkipEmptyParts)) {
            if (word.size() >= 5)
                out.append(word);
        }
    }
    out.removeDuplicates();
    return out;
}

// The first needle that the bytes hold in any of the encodings a database might use, or nothing.
QString foundIn(const QByteArray &bytes, const QStringList &texts)
{
    for (const QString &needle : needles(texts)) {
        const QByteArray le(reinterpret_cast<const char *>(needle.utf16()), needle.size() * 2);
        QByteArray be = le;
        for (qsizetype i = 0; i + 1 < be.size(); i += 2)
            std::swap(be[i], be[i + 1]);
        if (bytes.contains(needle.toUtf8()) || bytes.contains(le) || bytes.contains(be))
            return needle;
    }
    return QString();
}

// What the file has in the clear beyond the rows: the table and its columns, and the password itself.
const QStringList schemaWords = {"Tbl_Zorvane", "Parola", "Definizione", "CREATE TABLE", "SQLite format 3", GlossaryFile::DefaultPassword};

QStringList allTexts(const QList<GlossaryFile::Row> &rows)
{
    QStringList out = schemaWords;
    for (const auto &row : rows)
        out << row.term << row.definition;
    return out;
}

} // namespace

class TestSecrets : public QObject {
    Q_OBJECT

    std::unique_ptr<TempGlossary> m_glossary;

    void verifyUnreadable(const QString &file, const QStringList &texts)
    {
        QVERIFY(QFileInfo(file).size() > 0);
        const QString found = foundIn(Files::bytesOf(file), texts);
        QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("'%1' leggibile in %2").arg(found, file)));
    }

private slots:
    void init()
    {
        m_glossary = std::make_unique<TempGlossary>();
        m_glossary->add(secretRows());
    }

    void cleanup() { m_glossary.reset(); }

    void noTextInTheFileBeforeOrAfterChanges()
    {
        const QString file = m_glossary->file();
        verifyUnreadable(file, allTexts(secretRows()));

        const GlossaryFile::Row changed{"Zefirometro", "nuova definizione del misuratore di brezza"};
        const GlossaryFile::Row added{"Aggiuntivo", "riga scritta dopo, anch'essa riservata"};
        {
            Recordset rs;
            rs.Open(store::QueryRowById(1), store::ConnectionString(), 1, 3, 1);
            rs.Fields("PAROLA").setValue(changed.term);
            rs.Fields("DEFINIZIONE").setValue(changed.definition);
            rs.UpdateBatch();
        }
        {
            Recordset rs;
            rs.Open(store::QueryDeleteById(3), store::ConnectionString(), 1, 3, 1);
            QCOMPARE(rs.RecordsAffected(), 1);
        }
        {
            Recordset rs;
            rs.Open(store::QueryAllRows(), store::ConnectionString(), 1, 3, 1);
            rs.AddNew();
            const qint64 id = rs.Fields("ID").Value().toLongLong();
            rs.Fields("PAROLA").setValue(added.term);
            rs.Fields("DEFINIZIONE").setValue(added.definition);
            rs.Fields("ID").setValue(id);
            rs.UpdateBatch();
        }
        const QList<TempGlossary::StoredRow> rows = RawGlossary(file).rows();
        QCOMPARE(rows.size(), secretRows().size());
        QCOMPARE(rows.first().term, changed.term);
        QCOMPARE(rows.last().term, added.term);

        // The old texts, the deleted row (its pages go to the free list) and the new texts alike.
        verifyUnreadable(file, allTexts(secretRows() + QList<GlossaryFile::Row>{changed, added}));
        QVERIFY(!QFile::exists(RawGlossary::journal(file)));
    }

    void noTextInTheJournalOfAKilledWriter()
    {
        const QString file = m_glossary->file();
        const QString journal = RawGlossary::journal(file);
        const QString marker = QStringLiteral("Modifica segretissima interrotta ");
        QProcess holder;
        holder.start(QStringLiteral(KILLED_WRITER), {QStringLiteral("hold"), m_glossary->folder(), marker});
        QVERIFY2(holder.waitForStarted(GuardMs), qPrintable(holder.errorString()));
        QByteArray out;
        while (!out.contains('\n')) {
            QVERIFY2(holder.waitForReadyRead(GuardMs), qPrintable(holder.readAllStandardError()));
            out += holder.readAllStandardOutput();
        }
        holder.kill();
        QVERIFY(holder.waitForFinished(GuardMs));

        const QStringList texts = allTexts(secretRows()) << marker;
        QVERIFY(QFile::exists(journal));
        verifyUnreadable(journal, texts);
        verifyUnreadable(file, texts);

        // The next open undoes the half-done change; what it leaves is still unreadable.
        Recordset rs;
        rs.Open(store::QueryAllTerms(), store::ConnectionString(), 1, 3, 1);
        rs.Close();
        QVERIFY(!QFile::exists(journal));
        QCOMPARE(RawGlossary(file).rows().size(), secretRows().size());
        verifyUnreadable(file, texts);
    }

    void theCommandLineToolNeedsTheKey_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("readable");
        const QString count = QStringLiteral("SELECT count(*) FROM Tbl_Zorvane;\n");
        QTest::newRow("no key") << count << false;
        QTest::newRow("wrong key") << "PRAGMA key='ALTRA';\n" + count << false;
        QTest::newRow("key in lower case") << "PRAGMA key='runfalk';\n" + count << false;
        QTest::newRow("empty key") << "PRAGMA key='';\n" + count << false;
        QTest::newRow("dump without key") << QStringLiteral(".dump\n") << false;
        QTest::newRow("right key") << "PRAGMA key='" + GlossaryFile::DefaultPassword + "';\n" + count << true;
    }

    void theCommandLineToolNeedsTheKey()
    {
        QFETCH(QString, script);
        QFETCH(bool, readable);
        QProcess cli;
        cli.start(QStringLiteral("sqlcipher"), {m_glossary->file()});
        QVERIFY2(cli.waitForStarted(GuardMs), "the sqlcipher command line tool is missing");
        cli.write(script.toUtf8() + "SELECT ID, Parola FROM Tbl_Zorvane ORDER BY ID;\n");
        cli.closeWriteChannel();
        QVERIFY(cli.waitForFinished(GuardMs));
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        const QString err = QString::fromUtf8(cli.readAllStandardError());

        QStringList listed;
        const QList<GlossaryFile::Row> rows = secretRows();
        for (int i = 0; i < rows.size(); ++i)
            listed.append(QStringLiteral("%1|%2").arg(i + 1).arg(rows[i].term));
        if (readable) {
            QCOMPARE(err, QString());
            QCOMPARE(out, QStringLiteral("%1\n%2\n").arg(rows.size()).arg(listed.join(u'\n')));
        } else {
            QVERIFY2(err.contains(QStringLiteral("file is encrypted or is not a database")), qPrintable(err));
            QVERIFY2(!out.contains(QRegularExpression(QStringLiteral("^\\d+$"), QRegularExpression::MultilineOption)),
                qPrintable(out));
            const QString found = foundIn(out.toUtf8(), allTexts(rows));
            QVERIFY2(found.isEmpty(), qPrintable(found));
        }
    }
};

QTEST_GUILESS_MAIN(TestSecrets)
#include "tst_secrets.moc"
