#include "support/Files.h"
#include "support/FuzzRun.h"
#include "tools/CsvGlossary.h"
#include "tools/GlossaryImport.h"
#include "tools/InputError.h"
#include "tools/TbxGlossary.h"
#include "tools/TextFile.h"
#include "tools/TsvGlossary.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QRandomGenerator>
#include <QTest>

#include <optional>

#include <sys/resource.h>

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

// A row's text, whether the reader can tell a missing one or not.
QString textOf(const QString &text) { return text; }
QString textOf(const std::optional<QString> &text) { return text.value_or(QString()); }

// Peak memory only grows; a reader that took memory out of proportion to the small mutants shows in it.
qint64 peakKilobytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

// Mutants of the files the tool reads go through each reader and through the import's own choice of reader:
// each is read or refused with an InputError naming a line of the file, never anything else; a row read has
// a term and a definition, without NUL, together no longer than the file. ZORVANE_FUZZ_CASES mutants in all
// (10000 unless told), made from ZORVANE_FUZZ_SEED, taking the files in turn.
class TestImportFuzz : public QObject
{
    Q_OBJECT

    QMap<QString, std::pair<qint64, qint64>> m_outcomes; // by reader: how many read, how many refused

    // Empty when the reader read sane rows or refused the bytes as it should; what went wrong otherwise.
    template <typename Read>
    QString tried(const char *reader, const QByteArray &bytes, Read read)
    {
        try {
            // A text may be empty or missing, but never hold a NUL nor more characters than the file has bytes.
            for (const auto &row : read()) {
                const QString term = textOf(row.term), definition = textOf(row.definition);
                if (term.contains(QChar(0)) || definition.contains(QChar(0)) ||
                    term.size() + definition.size() > bytes.size())
                    return QStringLiteral("%1: riga (%2 | %3)").arg(reader, term.left(50), definition.left(50));
            }
            ++m_outcomes[reader].first;
        } catch (const InputError &e) {
            if (e.line() < 0 || e.line() > bytes.count('\n') + bytes.count('\r') + 1 || e.reason().isEmpty())
                return QStringLiteral("%1: rifiutato alla riga %2: %3").arg(reader).arg(e.line()).arg(e.reason());
            ++m_outcomes[reader].second;
        } catch (const std::exception &e) {
            return QStringLiteral("%1: eccezione %2").arg(reader, e.what());
        }
        return {};
    }

private slots:
    void mutantsAreReadOrRefused()
    {
        const FuzzRun run = FuzzRun::fromEnvironment(1, 10000);
        QList<QByteArray> files = {
            "Parola,Definizione\r\n\"a, b\",\"detto \"\"così\"\"\r\ndue\"\r\ncittà,perché\r\n",
            "<tag>\tsegno\n# nota\n  mela \t frutto \tcolonna\n",
            "<tbx xml:lang='it'><text><body><conceptEntry><langSec><descrip type='definition'>\n"
            "  <p>uno <hi>due</hi></p>\n  <p>tre</p>\n</descrip><termSec><term>t&#232;</term></termSec></langSec>"
            "</conceptEntry></body></text></tbx>"
        };
        const QDir samples(QStringLiteral(ZORVANE_TOOL_SAMPLES));
        for (const QString &name : samples.entryList(QDir::Files, QDir::Name))
            files.append(Files::bytesOf(samples.filePath(name)));
        QVERIFY(files.size() > 3);
        QRandomGenerator rng(run.seed);
        const qint64 peakBefore = peakKilobytes();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < run.cases; ++i) {
            const QByteArray bytes = mutant(rng, files[i % files.size()], files);
            // The text readers see what the decoding makes of the bytes; its refusals count as theirs.
            QStringList problems = { tried("import", bytes, [&] { return GlossaryImport::parse(bytes).rows; }),
                tried("TBX", bytes, [&] { return TbxGlossary::parseTbx(bytes).rows; }),
                tried("CSV", bytes, [&] { return CsvGlossary::parseCsv(TextFile::decode(bytes).text); }),
                tried("TSV", bytes, [&] { return TsvGlossary::parseTsv(TextFile::decode(bytes).text); }) };
            // AddressSanitizer keeps up to 256 MB of freed memory aside, so less would not tell.
            if (peakKilobytes() > peakBefore + 1024 * 1024)
                problems << QStringLiteral("oltre 1 GB di memoria");
            problems.removeAll(QString());
            // Enough of the mutant to make it again by hand.
            if (!problems.isEmpty())
                QFAIL(qPrintable(QStringLiteral("seme %1, caso %2: %3\n%4")
                                     .arg(run.seed)
                                     .arg(i)
                                     .arg(problems.join(u'\n'),
                                         QString::fromLatin1(bytes.left(300).toPercentEncoding(" <>/='\"!?[]&#;:,")))));
        }
        QStringList outcomes;
        for (auto it = m_outcomes.cbegin(); it != m_outcomes.cend(); ++it)
            outcomes << QStringLiteral("%1 %2 letti e %3 rifiutati").arg(it.key()).arg(it->first).arg(it->second);
        qInfo("%d mutanti in %lld ms: %s", run.cases, timer.elapsed(), qPrintable(outcomes.join(QStringLiteral(", "))));
    }
};

QTEST_GUILESS_MAIN(TestImportFuzz)
#include "tst_importfuzz.moc"
