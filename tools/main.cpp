#include "db/error/DbError.h"
#include "db/glossary/GlossaryFile.h"
#include "tools/ExportError.h"
#include "tools/GlossaryExport.h"
#include "tools/GlossaryImport.h"
#include "tools/InputError.h"
#include "tools/NewGlossary.h"
#include "tools/ProgressLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

enum Exit { Done = 0, Failed = 1, WrongUsage = 2 };

const QString Usage =
    QStringLiteral("Uso:\n"
                   "  zorvane-db create FILE [--password P]\n"
                   "      crea un glossario protetto vuoto; un file che esiste già non viene toccato.\n"
                   "  zorvane-db import FILE DATI [--create] [--tutte] [--password P]\n"
                   "      aggiunge al glossario FILE le righe del file DATI, tutte o nessuna. Il formato si\n"
                   "      riconosce dal contenuto: CSV, TSV, TBX o un vecchio glossario Access (Jet 4.0).\n"
                   "      Una riga con parola e definizione uguali a quelle di una riga già nel glossario\n"
                   "      viene saltata e contata, salvo con --tutte. Con --create il glossario viene creato\n"
                   "      se non esiste: da un file Access ne è una copia esatta, con gli stessi ID, mentre\n"
                   "      in un glossario esistente le righe ricevono ID nuovi. Un file da cui non viene\n"
                   "      nessuna riga è rifiutato e non crea il glossario.\n"
                   "  zorvane-db export FILE DATI [--foglio | --tsv | --tbx] [--password P]\n"
                   "      scrive nel file DATI tutte le righe del glossario, in ordine di ID; senza opzioni\n"
                   "      in CSV con le virgole.\n"
                   "\n"
                   "Opzioni:\n"
                   "  --password P   la password del glossario (se manca, quella del programma)\n"
                   "  --create       solo con import: crea il glossario se non esiste\n"
                   "  --tutte        solo con import: aggiunge anche le righe già presenti\n"
                   "  --foglio       solo con export: CSV per un foglio di calcolo in italiano (UTF-8 con\n"
                   "                 BOM, punto e virgola, CR LF, ogni campo tra virgolette); un testo che il\n"
                   "                 foglio prenderebbe per una formula (=, +, -, @) ha davanti un apostrofo\n"
                   "  --tsv          solo con export: una voce per riga, parola TAB definizione, come la\n"
                   "                 leggono gli strumenti di traduzione\n"
                   "  --tbx          solo con export: TBX-Basic (ISO 30042:2019) per gli strumenti di\n"
                   "                 terminologia\n"
                   "  -h, --help     mostra questo aiuto\n"
                   "\n"
                   "Formati:\n"
                   "  CSV  comincia con l'intestazione \"Parola\" e \"Definizione\", separate da una virgola, un\n"
                   "       punto e virgola o una tabulazione; ogni record ha una parola e una definizione: un\n"
                   "       campo vuoto senza virgolette è un testo mancante, \"\" un testo vuoto. Un campo che\n"
                   "       contiene il separatore, virgolette o a capo va tra virgolette, con le virgolette\n"
                   "       interne raddoppiate; un campo che comincia con apostrofi seguiti da =, +, -, @ ne\n"
                   "       perde uno. Si legge in UTF-8 (con o senza BOM), UTF-16 con BOM, o Windows-1252 se\n"
                   "       il testo non è UTF-8; un testo UTF-8 tranne qualche byte è rifiutato, indicando la\n"
                   "       riga e il primo byte non valido.\n"
                   "  TSV  una voce per riga, parola e definizione separate da una tabulazione; le righe che\n"
                   "       cominciano con # sono commenti, le colonne dopo la seconda non contano. A capo e\n"
                   "       tabulazioni dentro una definizione vi diventano spazi; un testo mancante vi è\n"
                   "       vuoto.\n"
                   "  TBX  versione corrente (tbx, conceptEntry) o 2 (martif, termEntry): si prendono i\n"
                   "       termini italiani, o quelli dell'unica lingua, con la loro definizione; un\n"
                   "       elemento assente è un testo mancante. Il rientro di un file scritto un elemento per\n"
                   "       riga non fa parte del testo. Una DTD con dichiarazioni proprie (entità) non è ammessa.\n"
                   "\n"
                   "Esce con 0 se riesce, 1 se l'operazione non riesce, 2 se il comando è scritto male.\n");

int wrongUsage(const QString &why)
{
    QTextStream(stderr) << QStringLiteral("zorvane-db: %1\nPer l'aiuto: zorvane-db --help\n").arg(why);
    return WrongUsage;
}

QString dashed(const QString &option)
{
    return (option.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + option;
}

QString counted(qsizetype n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? one : many));
}

// The first few, so that the message stays readable however many there are.
QString ids(const QList<qint64> &list)
{
    constexpr qsizetype shown = 10;
    QStringList out;
    for (const qint64 id : list.first(std::min(list.size(), shown)))
        out.append(QString::number(id));
    QString text = out.join(QStringLiteral(", "));
    if (list.size() > shown)
        text += QStringLiteral(" e altri %1").arg(list.size() - shown);
    return text;
}

QString imported(const GlossaryImport::Result &result, const QString &glossary, const QString &input)
{
    using GlossaryImport::Format;
    const GlossaryImport::Parsed &parsed = result.parsed;
    QString text;
    if (parsed.windows1252)
        text += QStringLiteral("Il file '%1' non è in UTF-8: è stato letto come Windows-1252.\n").arg(input);
    if (parsed.format == Format::Tbx && !parsed.language.isEmpty() && parsed.language != u"it")
        text += QStringLiteral("Il file TBX non ha l'italiano ma una sola lingua (%1): sono stati presi i suoi "
                               "termini.\n")
                    .arg(parsed.language);
    if (parsed.withoutLanguage > 0)
        text += QStringLiteral("%1: senza una sezione nella lingua letta (%2).\n")
                    .arg(counted(
                             parsed.withoutLanguage, "voce del file TBX tralasciata", "voci del file TBX tralasciate"),
                        parsed.language);
    if (parsed.leftOut > 0)
        text += QStringLiteral("%1: senza parola nella lingua letta (%2).\n")
                    .arg(counted(parsed.leftOut, "voce del file TBX tralasciata", "voci del file TBX tralasciate"),
                         parsed.language);
    text += QStringLiteral("%1 a '%2'").arg(counted(result.added, "riga aggiunta", "righe aggiunte"), glossary);
    if (result.alreadyThere)
        text += QStringLiteral(", %1").arg(counted(*result.alreadyThere, "già presente", "già presenti"));
    text += QStringLiteral(".\n");
    if (!result.filledIn.isEmpty())
        text += QStringLiteral("%1 (ID %2): il glossario '%3' non ammette testi mancanti, quindi al loro posto è "
                               "stato scritto un testo vuoto.\n")
                    .arg(counted(result.filledIn.size(), "riga senza parola o senza definizione",
                                 "righe senza parola o senza definizione"),
                         ids(result.filledIn), glossary);
    return text;
}

QString formatName(GlossaryExport::Format format)
{
    switch (format) {
    case GlossaryExport::Format::Tsv:
        return QStringLiteral("TSV");
    case GlossaryExport::Format::Tbx:
        return QStringLiteral("TBX");
    default:
        return QStringLiteral("CSV");
    }
}

QString exported(const GlossaryExport::Result &result, const QString &output, GlossaryExport::Format format)
{
    QString text = QStringLiteral("%1 in '%2'").arg(counted(result.rows, "riga scritta", "righe scritte"), output);
    if (result.incomplete > 0)
        text += QStringLiteral(", di cui %1 con un testo vuoto o mancante").arg(result.incomplete);
    text += QStringLiteral(".\n");
    if (result.incomplete > 0 && format == GlossaryExport::Format::Tsv)
        text += QStringLiteral("Un file TSV non distingue un testo mancante da uno vuoto: rileggendolo, saranno tutti "
                               "vuoti.\n");
    if (result.changed > 0)
        text += QStringLiteral("%1: a capo e tabulazioni sono diventati spazi e gli spazi ai bordi sono stati "
                               "tolti, perché un file TSV non li può contenere.\n")
                    .arg(counted(result.changed, "riga cambiata", "righe cambiate"));
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption password(QStringLiteral("password"), QString(), QStringLiteral("P"),
                                      GlossaryFile::DefaultPassword);
    const QCommandLineOption create(QStringLiteral("create"), QString());
    const QCommandLineOption everyRow(QStringLiteral("tutte"), QString());
    const QCommandLineOption spreadsheet(QStringLiteral("foglio"), QString());
    const QCommandLineOption tsv(QStringLiteral("tsv"), QString());
    const QCommandLineOption tbx(QStringLiteral("tbx"), QString());
    parser.addOptions({help, password, create, everyRow, spreadsheet, tsv, tbx});
    // The parser's own messages are English, so only its findings are used.
    if (!parser.parse(app.arguments())) {
        QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return wrongUsage(QStringLiteral("--password vuole un valore, le altre opzioni nessuno."));
        std::transform(unknown.begin(), unknown.end(), unknown.begin(), dashed);
        return wrongUsage(QStringLiteral("opzione sconosciuta: %1.").arg(unknown.join(QStringLiteral(", "))));
    }
    if (parser.isSet(help)) {
        QTextStream(stdout) << Usage;
        return Done;
    }

    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    if (command.isEmpty())
        return wrongUsage(QStringLiteral("manca il comando: create, import o export."));
    const bool isCreate = command == u"create";
    const bool isImport = command == u"import";
    if (!isCreate && !isImport && command != u"export")
        return wrongUsage(QStringLiteral("comando sconosciuto: %1.").arg(command));
    if (args.size() != (isCreate ? 2 : 3))
        return wrongUsage(isCreate ? QStringLiteral("create vuole il nome di un file.")
                                   : QStringLiteral("%1 vuole il nome del glossario e quello del file %2.")
                                         .arg(command, isImport ? "da leggere" : "da scrivere"));
    // SQLite would take an empty name for a temporary database and ":memory:" for one in memory: neither
    // leaves a file behind.
    if (std::any_of(args.cbegin() + 1, args.cend(), [](const QString &name) { return name.isEmpty(); }))
        return wrongUsage(QStringLiteral("il nome di un file non può essere vuoto."));
    if (args[1] == u":memory:")
        return wrongUsage(QStringLiteral("':memory:' è il nome di un database in memoria, non di un file; per un "
                                         "file con questo nome si scriva ./:memory:."));
    for (const QCommandLineOption *option : {&create, &everyRow}) {
        if (parser.isSet(*option) && !isImport)
            return wrongUsage(QStringLiteral("--%1 vale solo con import.").arg(option->names().constFirst()));
    }
    std::optional<GlossaryExport::Format> format;
    for (const auto &[option, chosen] : {std::pair{&spreadsheet, GlossaryExport::Format::Spreadsheet},
                                         std::pair{&tsv, GlossaryExport::Format::Tsv},
                                         std::pair{&tbx, GlossaryExport::Format::Tbx}}) {
        if (!parser.isSet(*option))
            continue;
        if (command != u"export")
            return wrongUsage(QStringLiteral("--%1 vale solo con export: import riconosce il formato dal contenuto.")
                                  .arg(option->names().constFirst()));
        if (format)
            return wrongUsage(QStringLiteral("--foglio, --tsv e --tbx si escludono a vicenda."));
        format = chosen;
    }
    const QString key = parser.value(password);
    // SQLCipher would take an empty key as no protection at all.
    if (key.isEmpty())
        return wrongUsage(QStringLiteral("la password non può essere vuota."));

    QTextStream out(stdout);
    QTextStream err(stderr);
    ProgressLine progress = ProgressLine::onTerminal();
    try {
        if (isCreate) {
            NewGlossary::make(args[1], [&](const QString &made) { GlossaryFile::create(made, key); });
            out << QStringLiteral("Creato il glossario '%1'.\n").arg(args[1]);
        } else if (isImport) {
            const GlossaryImport::Result result = GlossaryImport::importFile(
                args[1], args[2], key, {parser.isSet(create), parser.isSet(everyRow)}, progress);
            out << imported(result, args[1], args[2]);
        } else {
            const GlossaryExport::Format chosen = format.value_or(GlossaryExport::Format::Csv);
            const GlossaryExport::Result result = GlossaryExport::exportFile(args[1], args[2], key, chosen, progress);
            out << exported(result, args[2], chosen);
        }
    } catch (const InputError &e) {
        progress.interrupt();
        const QString file = e.kind().isEmpty() ? QStringLiteral("file '%1'").arg(args[2])
                                                : QStringLiteral("file %1 '%2'").arg(e.kind(), args[2]);
        err << (e.line() > 0 ? QStringLiteral("zorvane-db: %1, riga %2: %3.\n").arg(file).arg(e.line()).arg(e.reason())
                             : QStringLiteral("zorvane-db: %1: %2.\n").arg(file, e.reason()))
            << QStringLiteral("Il glossario non è stato cambiato.\n");
        return Failed;
    } catch (const ExportError &e) {
        progress.interrupt();
        err << QStringLiteral("zorvane-db: la riga con ID %1 non può andare in un file %2: %3.\n"
                              "Il file '%4' non è stato scritto.\n")
                   .arg(e.id())
                   .arg(formatName(format.value_or(GlossaryExport::Format::Csv)), e.reason(), args[2]);
        return Failed;
    } catch (const DbError &e) {
        progress.interrupt();
        err << QStringLiteral("zorvane-db: %1 (errore %2)\n").arg(e.description()).arg(e.number());
        return Failed;
    }
    return Done;
}
