#include "db/error/DbError.h"
#include "db/glossary/GlossaryFile.h"
#include "support/FailureNumber.h"
#include "support/Files.h"
#include "support/JetFixtures.h"
#include "support/ReadOnlyPath.h"
#include "support/SmallDisk.h"
#include "support/TempGlossary.h"
#include "tools/CsvGlossary.h"
#include "tools/ExportError.h"
#include "tools/GlossaryExport.h"
#include "tools/GlossaryImport.h"
#include "tools/InputError.h"
#include "tools/ProgressLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringEncoder>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using GlossaryFile::Row;
using Rows = QList<Row>;
using In = GlossaryImport::Format;
using Out = GlossaryExport::Format;
using Files::bytesOf;
using Files::writeFile;

namespace GlossaryFile {
char *toString(const Row &row)
{
    return QTest::toString(QStringLiteral("(%1 | %2)").arg(row.term, row.definition));
}
char *toString(const Record &r)
{
    const auto shown = [](const std::optional<QString> &text) { return text ? '"' + *text + '"' : "NULL"; };
    return QTest::toString(QStringLiteral("(%1: %2 | %3)").arg(r.id).arg(shown(r.term), shown(r.definition)));
}
} // namespace GlossaryFile

namespace {

// Every awkward thing a term or a definition may hold, for every format.
const Rows Awkward = {{"l'ape", "insetto che fa il miele"},
                      {"città, paese; borgo", "luogo abitato"},
                      {"virgolette", "si scrive \"così\" e l'apostrofo resta"},
                      {"a capo", "prima riga\nseconda riga\r\nterza, con virgola\rquarta"},
                      {"perché", "😀 àèìòù ÀÉ € œ"},
                      {" spazi ", "\tai bordi\te dentro "},
                      {"<tag> & #", "]]> &amp; ' fine"},
                      {QStringLiteral("\uFEFFzero"), QStringLiteral("\uFEFFsenza larghezza")}};

// Empty and missing texts, as a glossary carried over from an old file holds them. In these tables a null
// QString is a missing text.
const Rows Incomplete = {{"vuota", ""}, {"senza definizione", QString()}, {QString(), "senza parola"},
                          {"", "parola vuota"}};

// The rows as records numbered from firstId (0: unnumbered, as read from a file), a null text missing.
QList<GlossaryFile::Record> records(const Rows &rows, qint64 firstId = 0)
{
    const auto text = [](const QString &t) { return t.isNull() ? std::nullopt : std::optional(t); };
    QList<GlossaryFile::Record> out;
    for (const Row &row : rows)
        out.append({firstId ? firstId + out.size() : 0, text(row.term), text(row.definition)});
    return out;
}

ProgressLine quiet;

QByteArray sample(const char *name)
{
    return bytesOf(QStringLiteral(ZORVANE_TOOL_SAMPLES "/") + QLatin1String(name));
}

// TBX of one Italian entry, the term "t" with the definition given as markup, after the prolog given.
QByteArray tbxOf(const QByteArray &definition, const QByteArray &prolog = {})
{
    return prolog + "<tbx><text><body><conceptEntry><langSec xml:lang='it'><descrip type='definition'>" + definition
        + "</descrip><termSec><term>t</term></termSec></langSec></conceptEntry></body></text></tbx>";
}

QByteArray utf16(const QString &text, bool bigEndian)
{
    return QStringEncoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                          QStringConverter::Flag::WriteBom)(text);
}

struct Run {
    int code;
    QString out;
    QString err;
};

Run zorvaneDb(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(ZORVANE_DB), args);
    process.waitForFinished(-1);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace


class TestDbTool : public QObject {
    Q_OBJECT

    // Made on first use: keying a new file is slow, and the format tables need no file at all.
    std::unique_ptr<TempGlossary> m_made;
    TempGlossary *glossary()
    {
        if (!m_made)
            m_made = std::make_unique<TempGlossary>();
        return m_made.get();
    }
    QString path(const char *name) { return glossary()->folder() + '/' + QLatin1String(name); }

private slots:
    void cleanup() { m_made.reset(); }

    void readsEveryFormat_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<In>("format");
        QTest::addColumn<Rows>("rows");
        QTest::newRow("LF, no final end") << QByteArray("Parola,Definizione\ncasa,abitazione\nl'ape,insetto") << In::Csv
                                          << Rows{{"casa", "abitazione"}, {"l'ape", "insetto"}};
        QTest::newRow("BOM, header in any case")
            << QByteArray("\xEF\xBB\xBFPAROLA,definizione\r\ncittà,perché\r\n") << In::Csv << Rows{{"città", "perché"}};
        QTest::newRow("semicolons, blanks around the header's names")
            << QByteArray("Parola ; Definizione\r\na,b;c\r\n") << In::Csv << Rows{{"a,b", "c"}};
        QTest::newRow("a blank after the header's comma")
            << QByteArray("\"Parola\", \"Definizione\"\na, b\n") << In::Csv << Rows{{"a", " b"}};
        QTest::newRow("tabs") << QByteArray("Parola\tDefinizione\nx\t\"y\tz\"\n") << In::Csv << Rows{{"x", "y\tz"}};
        QTest::newRow("blank lines and bare separators at the end")
            << QByteArray("Parola;Definizione\r\na;b\r\n\r\n;\r\n\r\n") << In::Csv << Rows{{"a", "b"}};
        QTest::newRow("Windows-1252 with a pair of bytes that UTF-8 would take")
            << QByteArray("Parola;Definizione\n\xABPERCH\xC9\xBB;domanda \xE8 risposta\n") << In::Csv
            << Rows { { "«PERCHÉ»", "domanda è risposta" } };
        QTest::newRow("UTF-16 big-endian") << utf16("Parola;Definizione\nsorriso;😀\n", true) << In::Csv
                                           << Rows{{"sorriso", "😀"}};
        QTest::newRow("U+FEFF starting fields, only the file's first is a mark")
            << QByteArray("\xEF\xBB\xBFParola,Definizione\n\xEF\xBB\xBF" "a,\xEF\xBB\xBF" "b\n") << In::Csv
            << Rows{{QStringLiteral("\uFEFFa"), QStringLiteral("\uFEFFb")}};
        QTest::newRow("U+FEFF starting a tab-separated file's first term")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFmela\tfrutto\n") << In::Tsv
            << Rows{{QStringLiteral("\uFEFFmela"), "frutto"}};
        QTest::newRow("spreadsheet sample") << sample("foglio-1252.csv") << In::Csv
                                            << Rows{{"caffè", "Bevanda scura, servita al banco"},
                                                    {"perché", "Congiunzione: \"perché sì\" è una risposta"},
                                                    {"città; paese", "Luogo abitato"},
                                                    {"euro", "Moneta: 5 € fanno cinque"},
                                                    {"età", "Prima riga\nseconda riga"}};
        QTest::newRow("spreadsheet's Unicode text sample")
            << sample("testo-unicode.txt") << In::Csv
            << Rows{{"àncora", "Strumento che ferma la nave ⚓"},
                    {"sorriso", "😀 espressione del volto"},
                    {"ελληνικά", "greco, scritto in greco"}};
        QTest::newRow("tab-separated, no comment") << QByteArray("mela\tfrutto\r\n") << In::Tsv
                                                   << Rows{{"mela", "frutto"}};
        QTest::newRow("tab-separated, blank definition") << QByteArray("mela\t \t nota\n") << In::Tsv
                                                         << Rows{{"mela", ""}};
        QTest::newRow("tab-separated, a first term in angle brackets")
            << QByteArray("<tag>\tsegno di marcatura\n<br/>\ta capo\n") << In::Tsv
            << Rows{{"<tag>", "segno di marcatura"}, {"<br/>", "a capo"}};
        QTest::newRow("tab-separated sample")
            << sample("glossario.tsv") << In::Tsv
            << Rows{{"mela", "frutto del melo"}, {"pera", "frutto del pero"}, {"uva", "frutto della vite; in grappoli"}};
        QTest::newRow("TBX v2 sample") << sample("glossario-v2.tbx") << In::Tbx
                                       << Rows{{"pasta", "Impasto di farina e acqua, tagliato in varie forme."},
                                               {"caffè", "Bevanda scura & amara, servita \"al banco\"."},
                                               {"parmigiano", "Formaggio da grattugiare <stagionato>."},
                                               {"grana", "Formaggio da grattugiare <stagionato>."},
                                               {"senza definizione", QString()}};
        QTest::newRow("TBX v3 sample")
            << sample("glossario-v3.tbx") << In::Tbx
            << Rows{{"ammasso aperto", "Gruppo di stelle nate insieme nei bracci di una galassia."},
                    {"ammasso galattico", "Altro nome dell'ammasso aperto, che sta nel piano della galassia."},
                    {"buco nero", "Regione da cui nemmeno la luce sfugge.\nSeconda riga: è scritta con un riferimento."}};
        QTest::newRow("TBX written a line for each element")
            << sample("glossario-indentato.tbx") << In::Tbx
            << Rows { { "violino", "Strumento a corde che si suona con l'arco." },
                   { "introito", "Canto con cui si apre la messa.\nAnche: l'inizio di un brano." },
                   { "tromba", "Strumento a fiato di ottone, con tre pistoni." },
                   { "adagio", "Tempo lento.\nSeconda riga, scritta senza rientro." },
                   { "solfeggio", QString() } };
        QTest::newRow("TBX, line breaks around a definition of text only")
            << tbxOf("\n  uno\n  due\n") << In::Tbx << Rows { { "t", "\n  uno\n  due\n" } };
        QTest::newRow("TBX, paragraphs of a definition")
            << tbxOf("<p>uno</p><p>due <hi>tre</hi></p>") << In::Tbx << Rows { { "t", "uno\ndue tre" } };
        QTest::newRow("TBX, a term group around two language sections") << QByteArray(
            "<martif><text><body><termEntry><tig><langSet xml:lang='it'><term>a</term></langSet>"
            "<langSet xml:lang='it'/><descrip type='definition'>d</descrip></tig></termEntry></body>"
            "</text></martif>") << In::Tbx << Rows { { "a", "d" } };
        QTest::newRow("TBX of one other language")
            << QByteArray("<martif xml:lang='en'><text><body><termEntry><langSet><descrip type='definition'>a fruit"
                          "</descrip><tig><term>apple</term></tig></langSet></termEntry></body></text></martif>")
            << In::Tbx << Rows{{"apple", "a fruit"}};
        QTest::newRow("TBX in dct style, UTF-16")
            << utf16("<?xml version='1.0' encoding='UTF-16'?><tbx style='dct' xmlns:basic='b'><text><body><conceptEntry>"
                     "<langSec xml:lang='it'><basic:definition>d</basic:definition><termSec><term>t</term></termSec>"
                     "</langSec></conceptEntry></body></text></tbx>",
                     false)
            << In::Tbx << Rows{{"t", "d"}};
        QTest::newRow("TBX in the encoding its declaration names")
            << tbxOf("caff\xE8", "<?xml version='1.0' encoding='ISO-8859-1'?>") << In::Tbx << Rows { { "t", "caffè" } };
    }

    void readsEveryFormat()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(In, format);
        QFETCH(Rows, rows);
        const GlossaryImport::Parsed parsed = GlossaryImport::parse(bytes);
        QCOMPARE(parsed.format, format);
        QCOMPARE(parsed.rows, records(rows));
    }

    void refusesBadInputNamingItsLine_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty file") << QByteArray() << 1 << "manca l'intestazione";
        QTest::newRow("wrong header") << QByteArray("Termine,Definizione\na,b\n") << 1 << "intestazione";
        QTest::newRow("three fields after a two-line record")
            << QByteArray("Parola,Definizione\na,\"uno\ndue\"\nb,c,d\n") << 4 << "3 campi";
        QTest::newRow("one field") << QByteArray("Parola,Definizione\r\nsolo\r\n") << 2 << "un solo campo";
        QTest::newRow("unterminated quote")
            << QByteArray("Parola,Definizione\r\na,b\r\nc,\"aperta\r\nd,e\r\n") << 3 << "mai chiuse";
        QTest::newRow("quote in unquoted field") << QByteArray("Parola,Definizione\na,b\"c\n") << 2 << "fuori posto";
        QTest::newRow("text after closing quote") << QByteArray("Parola,Definizione\n\"a\"b,c\n") << 2 << "fuori posto";
        QTest::newRow("blank line") << QByteArray("Parola,Definizione\r\na,b\r\n\r\nc,d\r\n") << 3 << "riga vuota";
        QTest::newRow("bare separators between rows")
            << QByteArray("Parola;Definizione\na;b\n;\n\nc;d\n") << 3 << "riga vuota";
        QTest::newRow("CR alone ends a record") << QByteArray("Parola,Definizione\ra,b\r") << 1 << "CR senza LF";
        QTest::newRow("NUL") << QByteArray("Parola,Definizione\na,b\0c\n", 26) << 2 << "carattere nullo";
        QTest::newRow("UTF-8 mark, other bytes")
            << QByteArray("\xEF\xBB\xBFParola,Definizione\na,b\ncitt\xE0,x\n") << 3 << "UTF-8";
        QTest::newRow("UTF-8 but for one byte")
            << QByteArray("Parola,Definizione\ncaff\xC3\xA8,bevanda\nperch\xE9,congiunzione\n") << 3
            << "il byte 6 della riga (0xE9)";
        QTest::newRow("UTF-16, half a surrogate pair")
            << utf16(QStringLiteral("Parola,Definizione\na,") + QChar(0xD83D) + QStringLiteral("\n"), false) << 2
            << "surrogati";
        QTest::newRow("UTF-16 without a mark") << utf16("Parola,Definizione\r\na,b\r\n", false).sliced(2) << 0
                                               << "UTF-16 senza BOM";
        QTest::newRow("UTF-16 big-endian without a mark, tab-separated")
            << utf16("mela\tfrutto\n", true).sliced(2) << 0 << "UTF-16 senza BOM";
        QTest::newRow("tab-separated, no tab") << QByteArray("# glossario\nmela\tfrutto\npera\n") << 3
                                               << "nessuna tabulazione";
        QTest::newRow("tab-separated, CR alone") << QByteArray("mela\tfrutto\rpera\tfrutto\n") << 1 << "CR senza LF";
        QTest::newRow("XML not well formed") << QByteArray("<tbx>\n<text>\n<body></text></tbx>") << 3 << "ben formato";
        QTest::newRow("XML cut short") << QByteArray("<martif>\n<text>\n") << 3 << "finisce prima";
        QTest::newRow("other XML") << QByteArray("<?xml version='1.0'?>\n<html/>") << 2 << "<html>";
        QTest::newRow("TBX, an entity declared by the document type") << tbxOf(QByteArray("&e;").repeated(100000),
            "<?xml version='1.0'?>\n<!DOCTYPE tbx [\n<!ENTITY e '" + QByteArray(4000, 'x') + "'>\n]>\n")
                                                                      << 2 << "<!DOCTYPE";
        QTest::newRow("TBX, an external entity")
            << tbxOf("a &e; b", "<!DOCTYPE tbx [<!ENTITY e SYSTEM 'nota.txt'>]>\n") << 1 << "<!DOCTYPE";
        QTest::newRow("TBX, a document type inside an element") << QByteArray(
            "<tbx>\n<text>\n<!DOCTYPE tbx [<!ENTITY e 'x'>]><body><conceptEntry><langSec xml:lang='it'>"
            "<descrip type='definition'>&e;</descrip><termSec><term>t</term></termSec></langSec>"
            "</conceptEntry></body></text></tbx>") << 3 << "<!DOCTYPE";
        QTest::newRow("TBX, an entity that nothing declares")
            << tbxOf("a &e; b", "<!DOCTYPE tbx SYSTEM 'tbx.dtd'>\n") << 2 << "&e;";
        QTest::newRow("TBX, UTF-8 but for one byte") << tbxOf("caff\xE8", "<?xml version='1.0'?>\n") << 2 << "0xE8";
        QTest::newRow("TBX, bytes outside the encoding it declares")
            << tbxOf("\ncaff\xE8", "<?xml version='1.0' encoding='US-ASCII'?>") << 2 << "US-ASCII";
        QTest::newRow("TBX, an encoding nobody knows")
            << tbxOf("x", "<?xml version='1.0' encoding='zorvanese'?>\n") << 1 << "zorvanese";
        QByteArray attributes;
        for (int i = 1; i <= 65; ++i)
            attributes += " a" + QByteArray::number(i) + "='>'";
        QTest::newRow("TBX, an element with 65 attributes")
            << tbxOf("\n<hi" + attributes + ">x</hi>") << 2 << "più di 64 attributi";
        QTest::newRow("TBX, 60000 elements nested in a definition")
            << tbxOf("\n" + QByteArray("<hi>").repeated(60000) + "x" + QByteArray("</hi>").repeated(60000)) << 2
            << "annidati";
        QTest::newRow("TBX, several languages, no Italian") << sample("senza-italiano.tbx") << 0 << "le lingue en, de";
        QByteArray manyLanguages = "<tbx><text><body>";
        for (int i = 1; i <= 12; ++i)
            manyLanguages += "<conceptEntry><langSec xml:lang='l" + QByteArray::number(i) + "'/></conceptEntry>";
        QTest::newRow("TBX, many languages, no Italian") << manyLanguages
                + "</body></text></tbx>" << 0 << "le lingue l1, l2, l3, l4, l5, l6, l7, l8, l9, l10 e altre 2 ma";
    }

    void refusesBadInputNamingItsLine()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(QString, reason);
        try {
            GlossaryImport::parse(bytes);
            QFAIL("accepted");
        } catch (const InputError &e) {
            QCOMPARE(e.line(), line);
            QVERIFY2(e.reason().contains(reason), qPrintable(e.reason()));
        }
    }

    void writesCsvThatReadsBack_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<bool>("forSpreadsheet");
        QTest::addColumn<QByteArray>("csv");
        QTest::newRow("no rows") << Rows{} << false << QByteArray("Parola,Definizione\r\n");
        QTest::newRow("quotes only where a field needs them")
            << Rows{{"l'ape", " città "}, {"a,b", "c"}, {"x", "detto \"sì\""}, {"x\ry", "uno\ndue"}} << false
            << QByteArray("Parola,Definizione\r\nl'ape, città \r\n\"a,b\",c\r\nx,\"detto \"\"sì\"\"\"\r\n"
                          "\"x\ry\",\"uno\ndue\"\r\n");
        QTest::newRow("every separator a spreadsheet may tick")
            << Rows{{"a;b", "c\td"}} << false << QByteArray("Parola,Definizione\r\n\"a;b\",\"c\td\"\r\n");
        QTest::newRow("formulas left alone, an apostrophe before one doubled")
            << Rows{{"=1+1", "'@x"}, {"-ismo", "l'ape"}} << false
            << QByteArray("Parola,Definizione\r\n=1+1,''@x\r\n-ismo,l'ape\r\n");
        QTest::newRow("spreadsheet: mark, every field quoted")
            << Rows{{"a;b", "c, d"}, {"007", "2024-01-15"}} << true
            << QByteArray("\xEF\xBB\xBF\"Parola\";\"Definizione\"\r\n\"a;b\";\"c, d\"\r\n\"007\";\"2024-01-15\"\r\n");
        QTest::newRow("empty quoted, missing not")
            << Rows{{"vuota", ""}, {QString(), "senza parola"}, {"senza definizione", QString()}} << false
            << QByteArray("Parola,Definizione\r\nvuota,\"\"\r\n,senza parola\r\nsenza definizione,\r\n");
        QTest::newRow("spreadsheet: missing text unquoted")
            << Rows{{"", QString()}} << true << QByteArray("\xEF\xBB\xBF\"Parola\";\"Definizione\"\r\n\"\";\r\n");
        QTest::newRow("spreadsheet: formulas made inert")
            << Rows{{"=HYPERLINK(\"http://x\")", "@cmd"}, {"+1", "-1"}, {"\tinizio", "\rfine"}, {"'=già", "'testo"}}
            << true
            << QByteArray("\xEF\xBB\xBF\"Parola\";\"Definizione\"\r\n\"'=HYPERLINK(\"\"http://x\"\")\";\"'@cmd\"\r\n"
                          "\"'+1\";\"'-1\"\r\n\"'\tinizio\";\"'\rfine\"\r\n\"''=già\";\"'testo\"\r\n");
    }

    void writesCsvThatReadsBack()
    {
        QFETCH(Rows, rows);
        QFETCH(bool, forSpreadsheet);
        QFETCH(QByteArray, csv);
        QCOMPARE(CsvGlossary::writeCsv(records(rows), forSpreadsheet ? CsvGlossary::Spreadsheet : CsvGlossary::Plain),
                 csv);
        QCOMPARE(GlossaryImport::parse(csv).rows, records(rows));
    }

    void roundTripsInEveryFormat_data()
    {
        QTest::addColumn<Out>("format");
        QTest::addColumn<Rows>("back");
        QTest::addColumn<qsizetype>("changed");
        QTest::newRow("CSV") << Out::Csv << Awkward + Incomplete << qsizetype(0);
        QTest::newRow("spreadsheet") << Out::Spreadsheet << Awkward + Incomplete << qsizetype(0);
        QTest::newRow("TBX") << Out::Tbx << Awkward + Incomplete << qsizetype(0);
        // Tab-separated: line breaks, tabs and outer blanks go, and a missing text comes back empty.
        Rows flat = Awkward + Incomplete;
        flat[3].definition = "prima riga seconda riga terza, con virgola quarta";
        flat[5] = {"spazi", "ai bordi e dentro"};
        flat[Awkward.size() + 1].definition = flat[Awkward.size() + 2].term = "";
        QTest::newRow("TSV") << Out::Tsv << flat << qsizetype(2);
    }

    void roundTripsInEveryFormat()
    {
        QFETCH(Out, format);
        QFETCH(Rows, back);
        QFETCH(qsizetype, changed);
        const QString key = GlossaryFile::DefaultPassword;
        const Rows stored = Awkward + Incomplete;
        GlossaryFile::appendRecords(glossary()->file(), records(stored));
        const GlossaryExport::Result written = GlossaryExport::exportFile(glossary()->file(), path("out"), key, format, quiet);
        QCOMPARE(written.rows, stored.size());
        QCOMPARE(written.changed, changed);
        QCOMPARE(written.incomplete, Incomplete.size());

        QCOMPARE(GlossaryImport::importFile(path("copia.mdb"), path("out"), key, {true, false}, quiet).added, back.size());
        QCOMPARE(GlossaryFile::readRecords(path("copia.mdb")), records(back, 1));
        GlossaryExport::exportFile(path("copia.mdb"), path("again"), key, format, quiet);
        QCOMPARE(bytesOf(path("again")), bytesOf(path("out")));

        // Read back into the glossary it came from, only the rows the format changed are new.
        const GlossaryImport::Result again = GlossaryImport::importFile(glossary()->file(), path("out"), key, {}, quiet);
        QCOMPARE(again.added, changed);
        QCOMPARE(again.alreadyThere, stored.size() - changed);
    }

    void failedImportChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("bad");
        // Every reader reads the whole file before the glossary is touched: one refused text file stands for all.
        QTest::newRow("CSV") << QByteArray("Parola,Definizione\na,b\nc,d\ne\n");
        QTest::newRow("TBX without Italian") << sample("senza-italiano.tbx");
        QTest::newRow("old file, another password") << bytesOf(JetFixtures::path("altra-password.mdb"));
        QTest::newRow("old file cut short") << bytesOf(JetFixtures::path("troncato.mdb"));
        QTest::newRow("CSV, the header only") << QByteArray("Parola,Definizione\r\n");
        QTest::newRow("TBX, an Italian section without a term")
            << QByteArray("<tbx><text><body><conceptEntry><langSec xml:lang='en'><descrip type='definition'>d"
                          "</descrip><termSec><term>e</term></termSec></langSec><langSec xml:lang='it'>"
                          "</langSec></conceptEntry></body></text></tbx>");
    }

    void failedImportChangesNothing()
    {
        QFETCH(QByteArray, bad);
        glossary()->add({{"uno", "primo"}});
        glossary()->exec("INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (32766, 'alto', 'quasi in cima')");
        const QByteArray before = bytesOf(glossary()->file());

        writeFile(path("bad"), bad);
        writeFile(path("two.csv"), "Parola,Definizione\na,b\nc,d\n");
        const auto import = [&](const QString &into, const char *input, const QString &key, bool create = false) {
            GlossaryImport::importFile(into, path(input), key, {create}, quiet);
        };
        const QString key = GlossaryFile::DefaultPassword;
        QVERIFY_THROWS_EXCEPTION(std::exception, import(glossary()->file(), "bad", key));
        QVERIFY_THROWS_EXCEPTION(std::exception, import(path("nuovo.mdb"), "bad", key, true));
        QVERIFY(!QFile::exists(path("nuovo.mdb")));
        QCOMPARE(failureNumber([&] { import(glossary()->file(), "two.csv", "ALTRA"); }), int(DbError::WrongPassword));
        QCOMPARE(failureNumber([&] { import(path("manca.mdb"), "two.csv", key); }), int(DbError::FileNotFound));
        QVERIFY(!QFile::exists(path("manca.mdb")));
        QCOMPARE(bytesOf(glossary()->file()), before);

        // IDs go on past 16 bits: the window carries the whole key.
        import(glossary()->file(), "two.csv", key);
        QCOMPARE(glossary()->rows().last(), (TempGlossary::StoredRow{32768, "c", "d"}));
    }

    // Killed as soon as it has made its first file, an import --create leaves no glossary that is not whole,
    // and the next attempt makes it.
    void killedCreationLeavesNothingInTheWay()
    {
        Rows rows;
        for (int i = 0; i < 20000; ++i)
            rows.append({QStringLiteral("parola %1").arg(i), QStringLiteral("definizione %1").arg(i)});
        writeFile(path("in.csv"), CsvGlossary::writeCsv(records(rows)));
        const QString made = path("nuovo.mdb");
        const QStringList before = Files::entries(glossary()->folder());
        QProcess import;
        import.start(QStringLiteral(ZORVANE_DB), {"import", "--create", made, path("in.csv")});
        while (Files::entries(glossary()->folder()) == before && !import.waitForFinished(1)) {
        }
        import.kill();
        import.waitForFinished(-1);
        Rows there;
        QVERIFY(!QFileInfo::exists(made) || failureNumber([&] { there = GlossaryFile::readAll(made); }) == 0);
        QVERIFY(!QFileInfo::exists(made) || there == rows);

        const Run again = zorvaneDb({"import", "--create", made, path("in.csv")});
        QCOMPARE(again.code, 0);
        QCOMPARE(GlossaryFile::readAll(made), rows);
    }

    void createRefusesAnExistingFile()
    {
        glossary()->add({{"uno", "primo"}});
        const QByteArray before = bytesOf(glossary()->file());
        writeFile(path("note.txt"), "non un glossario");
        QVERIFY_THROWS_EXCEPTION(DbError, GlossaryFile::create(glossary()->file()));
        QVERIFY_THROWS_EXCEPTION(DbError, GlossaryFile::create(path("note.txt")));
        QCOMPARE(bytesOf(glossary()->file()), before);
        QCOMPARE(bytesOf(path("note.txt")), QByteArray("non un glossario"));
    }

    void exportRefusesWhatTheFormatCannotCarry_data()
    {
        QTest::addColumn<Out>("format");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no text at all in CSV") << Out::Csv << "NULL, NULL" << "mancano entrambe";
        QTest::newRow("NUL") << Out::Spreadsheet << "'nul', 'a' || char(0) || 'b'" << "carattere nullo";
        QTest::newRow("control character in TBX") << Out::Tbx << "'campanello' || char(7), 'suona'" << "U+0007";
        QTest::newRow("vertical tab in TBX") << Out::Tbx << "'fine', 'a' || char(11)" << "U+000B";
        QTest::newRow("comment mark in TSV") << Out::Tsv << "' #etichetta', 'cancelletto'" << "comincia con #";
        QTest::newRow("comment mark after an empty term in TSV") << Out::Tsv << "NULL, '#etichetta'" << "comincia con #";
        QTest::newRow("only blanks in TSV") << Out::Tsv << "'', ' ' || char(13, 10, 9)" << "restano vuote";
        QTest::newRow("BLOB definition that reads as text") << Out::Csv << "'binario', x'C3A8'" << "BLOB";
        QTest::newRow("BLOB term in TBX") << Out::Tbx << "x'00FF', 'dato'" << "BLOB";
    }

    void exportRefusesWhatTheFormatCannotCarry()
    {
        QFETCH(Out, format);
        QFETCH(QString, values);
        QFETCH(QString, reason);
        // Another program's table, without types or NOT NULL, holds whatever is put in it.
        glossary()->exec(QStringLiteral("DROP TABLE Tbl_Zorvane; CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY, "
                                        "Parola, Definizione); INSERT INTO Tbl_Zorvane VALUES (1, 'uno', 'primo'), "
                                        "(7, %1)")
                             .arg(values));
        writeFile(path("out"), "vecchio");
        try {
            GlossaryExport::exportFile(glossary()->file(), path("out"), GlossaryFile::DefaultPassword, format, quiet);
            QFAIL("exported");
        } catch (const ExportError &e) {
            QCOMPARE(e.id(), 7);
            QVERIFY2(e.reason().contains(reason), qPrintable(e.reason()));
        }
        QCOMPARE(bytesOf(path("out")), QByteArray("vecchio"));
    }

    // The export writes its own file and nothing else: a link at its name is replaced, never written
    // through (the other links are tst_wholefile's, the writer both exports share); a failed export says why
    // and leaves the previous file; a read-only folder still takes the new text in the file already there.
    void exportWritesOnlyItsOwnFile_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("reason"); // empty: the export is written
        QTest::newRow("link to the glossary") << "glossary" << "";
        QTest::newRow("read-only folder, file there") << "read-only" << "";
        QTest::newRow("full disk") << "full" << "spazio su disco insufficiente";
        QTest::newRow("full disk, read-only folder") << "full read-only" << "spazio su disco insufficiente";
        QTest::newRow("full device") << "device" << "spazio su disco insufficiente";
        QTest::newRow("wrong password") << "wrong password" << "(errore 3031)";
        QTest::newRow("the glossary itself") << "itself" << "è il glossario stesso";
        QTest::newRow("missing folder") << "missing folder" << "la cartella non esiste";
    }

    void exportWritesOnlyItsOwnFile()
    {
        QFETCH(QString, scene);
        QFETCH(QString, reason);
        // More than the page the previous file already has, so that a full disk refuses it.
        const Rows rows = {{"alfa", QString(9000, u'a')}};
        glossary()->add(rows);
        std::optional<SmallDisk> disk;
        QString folder = glossary()->folder();
        if (scene.startsWith(u"full")) {
            disk.emplace(QStringLiteral("256k"));
            if (!disk->mounted())
                QSKIP(qPrintable("a small file system cannot be mounted here (" + disk->why() + ")"));
            folder = disk->path();
        }
        QString file = folder + QStringLiteral("/out.csv");
        const QString other = folder + QStringLiteral("/altro.txt");
        QByteArray previous = "esportazione precedente\r\n";
        writeFile(other, "un altro file");
        const QByteArray glossaryBytes = bytesOf(glossary()->file());
        if (scene == u"glossary") {
            QVERIFY(QFile::link(glossary()->file(), file));
        } else if (scene == u"device") {
            // A full device of the test's own, so that a faulty export could replace nothing of the system's.
            file = folder + QStringLiteral("/full");
            if (::mknod(QFile::encodeName(file).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
                QSKIP("no device can be made here");
        } else if (scene == u"itself") {
            file = glossary()->file();
            previous = glossaryBytes;
        } else if (scene == u"missing folder") {
            file = folder + QStringLiteral("/manca/out.csv");
            previous.clear();
        } else {
            writeFile(file, previous);
        }
        if (disk)
            QVERIFY(!disk->fill().isEmpty());
        std::optional<ReadOnlyPath> readOnly;
        if (scene.endsWith(u"read-only")) {
            readOnly.emplace(folder);
            if (readOnly->writable())
                QSKIP("the folder cannot be made read-only here");
        }
        const QStringList before = Files::entries(folder);

        QStringList args = {"export", glossary()->file(), file};
        if (scene == u"wrong password")
            args << "--password" << "ALTRA";
        const Run run = zorvaneDb(args);
        QCOMPARE(bytesOf(glossary()->file()), glossaryBytes);
        QCOMPARE(bytesOf(other), QByteArray("un altro file"));
        QCOMPARE(Files::entries(folder), before);
        if (!reason.isEmpty()) {
            QCOMPARE(run.code, 1);
            QVERIFY2(run.err.contains(reason), qPrintable(run.err));
            QCOMPARE(run.out, QString());
            struct stat kept;
            if (scene == u"device")
                QVERIFY(::lstat(QFile::encodeName(file).constData(), &kept) == 0 && S_ISCHR(kept.st_mode));
            else
                QCOMPARE(bytesOf(file), previous);
            return;
        }
        QCOMPARE(run.code, 0);
        QVERIFY(!QFileInfo(file).isSymLink());
        QCOMPARE(bytesOf(file), CsvGlossary::writeCsv(records(rows)));
    }

    // An old file, known by its content and not by its name, makes a new glossary with its own IDs, or goes
    // after the rows of one already there, once. A glossary made by an earlier version, whose columns refuse
    // missing texts, takes an empty text in their place and the user is told which rows.
    void importsAnOldGlossary_data()
    {
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("told");
        QTest::newRow("made by create") << QString() << QString();
        QTest::newRow("made earlier, texts NOT NULL")
            << "Parola TEXT NOT NULL, Definizione TEXT NOT NULL"
            << "2 righe senza parola o senza definizione (ID 311, 312): il glossario '%1' non ammette testi "
               "mancanti, quindi al loro posto è stato scritto un testo vuoto.\n";
    }

    void importsAnOldGlossary()
    {
        QFETCH(QString, columns);
        QFETCH(QString, told);
        const QString file = glossary()->file(), old = path("vecchio.dat"), copy = path("copia.mdb");
        QVERIFY(QFile::copy(JetFixtures::path("glossario-2000.mdb"), old));
        QList<GlossaryFile::Record> expected = JetFixtures::expected("glossario-2000.mdb");
        QCOMPARE(zorvaneDb({"import", "--create", copy, old}).out,
                 QStringLiteral("329 righe aggiunte a '%1'.\n").arg(copy));
        QCOMPARE(GlossaryFile::readRecords(copy), expected);
        QCOMPARE(zorvaneDb({"export", "--tbx", copy, path("copia.tbx")}).out,
                 QStringLiteral("329 righe scritte in '%1', di cui 3 con un testo vuoto o mancante.\n")
                     .arg(path("copia.tbx")));
        QVERIFY(zorvaneDb({"export", "--tsv", copy, path("copia.tsv")})
                    .out.contains("\nUn file TSV non distingue un testo mancante da uno vuoto: rileggendolo, saranno tutti "
                                  "vuoti.\n"));

        if (!columns.isEmpty())
            glossary()->exec(QStringLiteral("DROP TABLE Tbl_Zorvane; CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY "
                                            "AUTOINCREMENT, %1)")
                                 .arg(columns));
        glossary()->add({{"uno", "primo"}});
        const Run run = zorvaneDb({"import", file, old});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out, QStringLiteral("329 righe aggiunte a '%1', 0 già presenti.\n").arg(file) + told.arg(file));
        for (qsizetype i = 0; i < expected.size(); ++i) {
            auto &[id, term, definition] = expected[i];
            id = i + 2;
            if (!columns.isEmpty())
                std::tie(term, definition) = std::pair(term.value_or(QString()), definition.value_or(QString()));
        }
        QCOMPARE(GlossaryFile::readRecords(file).sliced(1), expected);
        QCOMPARE(zorvaneDb({"import", file, old}).out,
                 QStringLiteral("0 righe aggiunte a '%1', 329 già presenti.\n").arg(file));
    }

    void progressShowsOnlyAfterASecond()
    {
        QString screen;
        qint64 now = 0;
        ProgressLine progress([&](const QString &text) { screen += text; }, [&] { return now; });
        const ProgressLine::Step reading = progress.step("Lettura");
        const ProgressLine::Step writing = progress.step("Scrittura");
        reading(1, 10);
        now = 999;
        reading(10, 10);
        QCOMPARE(screen, QString());
        now = 1000;
        writing(1, 4);
        now = 1050;
        writing(2, 4);
        writing(4, 4);
        writing(4, 4);
        reading(1, 9);
        progress.interrupt();
        QCOMPARE(screen, "\rScrittura: 1 di 4 righe\rScrittura: 4 di 4 righe\n\rLettura: 1 di 9 righe\n");
    }

    void commandLineRunsTheSameOperations()
    {
        const QString file = path("cli.mdb");
        QCOMPARE(zorvaneDb({"create", file}).code, 0);
        const Run again = zorvaneDb({"create", file});
        QCOMPARE(again.code, 1);
        QVERIFY2(again.err.contains("esiste già"), qPrintable(again.err));

        writeFile(path("bad.csv"), "Parola,Definizione\r\na,b\r\nc,\"d\r\ne\",f\r\n");
        const Run bad = zorvaneDb({"import", file, path("bad.csv")});
        QCOMPARE(bad.code, 1);
        QCOMPARE(bad.err, QStringLiteral("zorvane-db: file CSV '%1', riga 3: il record ha 3 campi invece di 2 (Parola e "
                                         "Definizione).\nIl glossario non è stato cambiato.\n")
                              .arg(path("bad.csv")));

        // Output that is not a terminal gets no progress, only the result.
        writeFile(path("in.csv"), CsvGlossary::writeCsv(records(Awkward)));
        const Run imported = zorvaneDb({"import", file, path("in.csv")});
        QCOMPARE(imported.out, QStringLiteral("8 righe aggiunte a '%1', 0 già presenti.\n").arg(file));
        QCOMPARE(imported.err, QString());
        QCOMPARE(zorvaneDb({"import", "--tutte", file, path("in.csv")}).out,
                 QStringLiteral("8 righe aggiunte a '%1'.\n").arg(file));
        QCOMPARE(zorvaneDb({"export", file, path("out.csv")}).out,
                 QStringLiteral("16 righe scritte in '%1'.\n").arg(path("out.csv")));
        QCOMPARE(bytesOf(path("out.csv")), CsvGlossary::writeCsv(records(Awkward + Awkward)));
        QCOMPARE(zorvaneDb({"export", "--foglio", file, path("foglio.csv")}).code, 0);
        QCOMPARE(bytesOf(path("foglio.csv")), CsvGlossary::writeCsv(records(Awkward + Awkward), CsvGlossary::Spreadsheet));
        QCOMPARE(zorvaneDb({"export", "--tsv", file, path("out.tsv")}).out,
                 QStringLiteral("16 righe scritte in '%1'.\n4 righe cambiate: a capo e tabulazioni sono diventati spazi e "
                                "gli spazi ai bordi sono stati tolti, perché un file TSV non li può contenere.\n")
                     .arg(path("out.tsv")));
        QVERIFY(bytesOf(path("out.tsv")).startsWith("# "));
        QCOMPARE(zorvaneDb({"export", "--tbx", file, path("out.tbx")}).code, 0);
        QVERIFY(bytesOf(path("out.tbx")).contains("<tbx xmlns=\"urn:iso:std:iso:30042:ed-2\" type=\"TBX-Basic\" style=\"dca\""));
        glossary()->exec("INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (40, 'fine', 'x' || char(27))");
        const Run refused = zorvaneDb({"export", "--tbx", glossary()->file(), path("out.tbx")});
        QCOMPARE(refused.code, 1);
        QCOMPARE(refused.err, QStringLiteral("zorvane-db: la riga con ID 40 non può andare in un file TBX: la definizione "
                                             "contiene il carattere U+001B, che XML non può contenere.\nIl file '%1' non "
                                             "è stato scritto.\n")
                                  .arg(path("out.tbx")));

        const QString samples = QStringLiteral(ZORVANE_TOOL_SAMPLES);
        const Run spreadsheet = zorvaneDb({"import", "--create", path("s.mdb"), samples + "/foglio-1252.csv"});
        QCOMPARE(spreadsheet.out, QStringLiteral("Il file '%1/foglio-1252.csv' non è in UTF-8: è stato letto come "
                                                 "Windows-1252.\n5 righe aggiunte a '%2'.\n")
                                      .arg(samples, path("s.mdb")));
        QCOMPARE(zorvaneDb({"import", path("s.mdb"), samples + "/glossario-v2.tbx"}).out,
                 QStringLiteral("1 voce del file TBX tralasciata: senza una sezione nella lingua letta (it).\n5 righe "
                                "aggiunte a '%1', 0 già presenti.\n")
                     .arg(path("s.mdb")));
        writeFile(path("vuoto.csv"), "Parola,Definizione\r\n");
        const Run empty = zorvaneDb({"import", "--create", path("vuoto.mdb"), path("vuoto.csv")});
        QCOMPARE(empty.code, 1);
        QCOMPARE(empty.err, QStringLiteral("zorvane-db: file CSV '%1': nessuna riga da importare.\nIl glossario non è "
                                           "stato cambiato.\n")
                                .arg(path("vuoto.csv")));
        QVERIFY(!QFile::exists(path("vuoto.mdb")));

        QCOMPARE(zorvaneDb({"import", "--create", "--password=ALTRA", path("altro.mdb"), path("in.csv")}).code, 0);
        QCOMPARE(GlossaryFile::readAll(path("altro.mdb"), "ALTRA"), Awkward);

        const Run help = zorvaneDb({"--help"});
        QCOMPARE(help.code, 0);
        QVERIFY(help.out.contains("zorvane-db export FILE DATI [--foglio | --tsv | --tbx]"));
        for (const QStringList &wrong : {QStringList{}, {"create", file, "--create"}, {"export", file, "x", "--tutte"},
                                         {"import", file, "x", "--tbx"}, {"export", file, "x", "--tsv", "--tbx"},
                                         {"create", path("vuota.mdb"), "--password", ""}, {"create", ""},
                                         {"create", ":memory:"}, {"import", "--create", ":memory:", path("in.csv")},
                                         {"export", file, ""}}) {
            const Run run = zorvaneDb(wrong);
            QCOMPARE(run.code, 2);
            QVERIFY2(run.err.startsWith("zorvane-db: ") && run.out.isEmpty(), qPrintable(run.out + run.err));
        }
        QVERIFY(!QFile::exists(path("vuota.mdb")));
    }
};

QTEST_GUILESS_MAIN(TestDbTool)
#include "tst_dbtool.moc"
