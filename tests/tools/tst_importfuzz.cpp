#include "CsvGlossary.h"
#include "Files.h"
#include "GlossaryImport.h"
#include "InputError.h"
#include "TbxGlossary.h"
#include "TextFile.h"
#include "TsvGlossary.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

#include <sys/resource.h>

using GlossaryFile::Row;

namespace
{

// What breaks the readers: markup of every kind, quotes and separators, line ends, byte order marks, bytes
// that are no UTF-8, and pieces of TBX and CSV to make new structure out of the old.
const QList<QByteArray> &pieces()
{
    static const QList<QByteArray> p = { "<", "</", ">", "/>", "&", "&amp;", "&#0;", "&#13;", "&#x1F600;", "&e;",
        "<!--", "-->", "<![CDATA[", "]]>", "<!DOCTYPE tbx [", "<!DOCTYPE tbx SYSTEM 'x.dtd'>", "<!ENTITY e 'x'>", "]>",
        "<?xml version='1.0'?>", "<?xml version='1.0' encoding='ISO-8859-1'?>",
        "<?xml version='1.0' encoding='UTF-16'?>", "<tbx>", "<martif>", "<p>", "</p>", "<hi>", "</hi>", "<term>",
        "</term>", "<descrip type='definition'>", "</descrip>", "<langSec xml:lang='it'>", "<langSet xml:lang='en'>",
        "<conceptEntry>", "<termSec>", " a='1'", "\"", "\"\"", "'", ",", ";", "\t", "\r", "\n", "\r\n", "\n  ", "#",
        " ", "Parola,Definizione\r\n", "Parola;Definizione\n", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\xC3\xA8",
        "\xE8", "\x80", "\xF0\x9F\x98\x80", "\xED\xA0\x80", QByteArray(1, '\0'), QByteArray("\0<\0", 3) };
    return p;
}

// One to four changes: a byte changed or flipped, a piece put in, a stretch dropped, copied, repeated or cut
// off, or a stretch of another file put in.
QByteArray mutant(QRandomGenerator &rng, QByteArray bytes, const QList<QByteArray> &others)
{
    const auto at = [&](qsizetype extra) { return qsizetype(rng.bounded(quint32(bytes.size() + extra))); };
    for (int n = 1 + int(rng.bounded(4)); n > 0; --n) {
        const qsizetype from = at(1);
        const qsizetype length = std::min<qsizetype>(bytes.size() - from, 1 + rng.bounded(64));
        switch (rng.bounded(8)) {
        case 0:
            if (!bytes.isEmpty())
                bytes[at(0)] = char(rng.bounded(256));
            break;
        case 1:
            if (!bytes.isEmpty())
                bytes[at(0)] ^= char(1 << rng.bounded(8));
            break;
        case 2:
        case 3:
            bytes.insert(from, pieces()[rng.bounded(quint32(pieces().size()))]);
            break;
        case 4:
            bytes.remove(from, length);
            break;
        case 5:
            bytes.insert(at(1), bytes.mid(from, length).repeated(1 + int(rng.bounded(300))));
            break;
        case 6:
            bytes.truncate(from);
            break;
        default: {
            const QByteArray &other = others[rng.bounded(quint32(others.size()))];
            const qsizetype start = rng.bounded(quint32(other.size() + 1));
            bytes.insert(from, other.mid(start, 1 + rng.bounded(256)));
        }
        }
    }
    return bytes;
}

qint64 peakKilobytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Shown in a failure: enough of the mutant to make it again by hand.
QString shown(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.left(300).toPercentEncoding(" <>/='\"!?[]&#;:,"));
}

} // namespace

// Mutants of the files the tool reads go through each reader and through the import's own choice of reader:
// each is read or refused with an InputError naming a line of the file, never anything else; a row read has
// a term and a definition, without NUL, together no longer than the file. ZORVANE_FUZZ_CASES mutants in all (10000
// unless told), made from ZORVANE_FUZZ_SEED.
class TestImportFuzz : public QObject
{
    Q_OBJECT

    enum Reader { Import, Tbx, Csv, Tsv, Readers };
    static constexpr const char *ReaderNames[Readers] = { "import", "TBX", "CSV", "TSV" };

    quint32 m_seed = 1;
    int m_cases = 10000;
    QList<QByteArray> m_files;
    QStringList m_names;
    qint64 m_made = 0;
    qint64 m_read[Readers] = {};
    qint64 m_refused[Readers] = {};
    qint64 m_elapsed = 0;

    // Empty when the reader read sane rows or refused the bytes as it should; what went wrong otherwise.
    QString tried(Reader reader, const QByteArray &bytes, const std::function<QList<Row>()> &read)
    {
        try {
            for (const Row &row : read()) {
                if (row.term.isEmpty() || row.definition.isEmpty())
                    return QStringLiteral("una riga senza parola o senza definizione");
                if (row.term.contains(QChar(0)) || row.definition.contains(QChar(0)))
                    return QStringLiteral("una riga con un carattere nullo");
                if (row.term.size() + row.definition.size() > bytes.size())
                    return QStringLiteral("una riga più lunga del file");
            }
            ++m_read[reader];
        } catch (const InputError &e) {
            if (e.line() < 0 || e.line() > bytes.count('\n') + bytes.count('\r') + 1 || e.reason().isEmpty())
                return QStringLiteral("rifiutato alla riga %1, con il motivo \"%2\"").arg(e.line()).arg(e.reason());
            ++m_refused[reader];
        } catch (const std::exception &e) {
            return QStringLiteral("eccezione inattesa: %1").arg(e.what());
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        bool ok = false;
        const quint32 seed = qEnvironmentVariable("ZORVANE_FUZZ_SEED").toUInt(&ok);
        if (ok)
            m_seed = seed;
        const int count = qEnvironmentVariableIntValue("ZORVANE_FUZZ_CASES", &ok);
        if (ok && count > 0)
            m_cases = count;
        qInfo("ZORVANE_FUZZ_SEED=%u ZORVANE_FUZZ_CASES=%d", m_seed, m_cases);

        const QDir samples(QStringLiteral(ZORVANE_TOOL_SAMPLES));
        for (const QString &name : samples.entryList(QDir::Files, QDir::Name)) {
            m_names.append(name);
            m_files.append(Files::bytesOf(samples.filePath(name)));
        }
        QVERIFY(!m_files.isEmpty());
        m_names.append({ "CSV", "TSV", "TBX" });
        m_files << QByteArray("Parola,Definizione\r\n\"a, b\",\"detto \"\"così\"\"\r\ndue\"\r\ncittà,perché\r\n")
                << QByteArray("<tag>\tsegno\n# nota\n  mela \t frutto \tcolonna\n")
                << QByteArray("<tbx xml:lang='it'><text><body><conceptEntry><langSec><descrip type='definition'>\n"
                              "  <p>uno <hi>due</hi></p>\n  <p>tre</p>\n</descrip><termSec><term>t&#232;</term>"
                              "</termSec></langSec></conceptEntry></body></text></tbx>");
    }

    void mutantsAreReadOrRefused_data()
    {
        QTest::addColumn<int>("file");
        for (int i = 0; i < m_files.size(); ++i)
            QTest::newRow(qPrintable(m_names[i])) << i;
    }

    void mutantsAreReadOrRefused()
    {
        QFETCH(int, file);
        QRandomGenerator rng(m_seed + quint32(file));
        const int cases = (m_cases + int(m_files.size()) - 1) / int(m_files.size());
        const qint64 peakBefore = peakKilobytes();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < cases; ++i) {
            const QByteArray bytes = mutant(rng, m_files[file], m_files);
            const std::optional<QString> text = [&]() -> std::optional<QString> {
                try {
                    return TextFile::decode(bytes).text;
                } catch (const InputError &) {
                    return std::nullopt;
                }
            }();
            const std::function<QList<Row>()> readers[Readers] = { [&] { return GlossaryImport::parse(bytes).rows; },
                [&] { return TbxGlossary::parseTbx(bytes).rows; }, [&] { return CsvGlossary::parseCsv(*text); },
                [&] { return TsvGlossary::parseTsv(*text); } };
            for (int r = 0; r < (text ? Readers : Csv); ++r) {
                const QString problem = tried(Reader(r), bytes, readers[r]);
                if (!problem.isEmpty())
                    QFAIL(qPrintable(QStringLiteral("seme %1, file %2, caso %3, lettore %4: %5\n%6")
                                         .arg(m_seed)
                                         .arg(m_names[file])
                                         .arg(i)
                                         .arg(ReaderNames[r], problem, shown(bytes))));
            }
            ++m_made;
            // Peak memory only grows; a reader that took memory out of proportion to these small files shows.
            if (peakKilobytes() > peakBefore + 256 * 1024)
                QFAIL(qPrintable(QStringLiteral("seme %1, file %2, caso %3: oltre 256 MB di memoria\n%4")
                                     .arg(m_seed)
                                     .arg(m_names[file])
                                     .arg(i)
                                     .arg(shown(bytes))));
        }
        m_elapsed += timer.elapsed();
    }

    void cleanupTestCase()
    {
        QString outcomes;
        for (int r = 0; r < Readers; ++r)
            outcomes
                += QStringLiteral(", %1 %2 letti e %3 rifiutati").arg(ReaderNames[r]).arg(m_read[r]).arg(m_refused[r]);
        qInfo("%lld mutanti in %lld ms%s", m_made, m_elapsed, qPrintable(outcomes));
    }
};

QTEST_GUILESS_MAIN(TestImportFuzz)
#include "tst_importfuzz.moc"
