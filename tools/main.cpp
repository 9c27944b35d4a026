#include "DbError.h"
#include "ExportError.h"
#include "GlossaryExport.h"
#include "GlossaryFile.h"
#include "GlossaryImport.h"
#include "InputError.h"
#include "ProgressLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>

namespace {

enum Exit { Done = 0, Failed = 1, WrongUsage = 2 };

const QString Usage =
    QStringLiteral("Uso:\n"
                   "  zorvane-db create FILE [--password P]\n"
                   "      crea un glossario protetto vuoto; un file che esiste già non viene toccato.\n"
                   "  zorvane-db import FILE CSV [--create] [--password P]\n"
                   "  zorvane-db import FILE VECCHIO.mdb [--create] [--password P]\n"
                   "      aggiunge al glossario FILE le righe del file CSV o del vecchio glossario Access\n"
                   "      (Jet 4.0, riconosciuto dal contenuto), tutte o nessuna; con --create il glossario\n"
                   "      viene creato se non esiste: da un file Access ne è una copia esatta, con gli\n"
                   "      stessi ID, mentre in un glossario esistente le righe ricevono ID nuovi.\n"
                   "  zorvane-db export FILE CSV [--password P]\n"
                   "      scrive nel file CSV tutte le righe del glossario, in ordine di ID.\n"
                   "\n"
                   "Opzioni:\n"
                   "  --password P   la password del glossario (se manca, quella del programma)\n"
                   "  --create       solo con import: crea il glossario se non esiste\n"
                   "  -h, --help     mostra questo aiuto\n"
                   "\n"
                   "Il file CSV è in UTF-8 e comincia con l'intestazione \"Parola,Definizione\"; ogni record ha una\n"
                   "parola e una definizione, non vuote, separate da una virgola. Un campo che contiene virgole,\n"
                   "virgolette o a capo va tra virgolette, con le virgolette interne raddoppiate.\n"
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption password(QStringLiteral("password"), QString(), QStringLiteral("P"),
                                      GlossaryFile::DefaultPassword);
    const QCommandLineOption create(QStringLiteral("create"), QString());
    parser.addOptions({help, password, create});
    // The parser's own messages are English, so only its findings are used.
    if (!parser.parse(app.arguments())) {
        QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return wrongUsage(QStringLiteral("--password vuole un valore, --create e --help nessuno."));
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
        return wrongUsage(isCreate
                              ? QStringLiteral("create vuole il nome di un file.")
                              : QStringLiteral("%1 vuole il nome del glossario e quello del file CSV.").arg(command));
    if (parser.isSet(create) && !isImport)
        return wrongUsage(QStringLiteral("--create vale solo con import."));
    const QString key = parser.value(password);
    // SQLCipher would take an empty key as no protection at all.
    if (key.isEmpty())
        return wrongUsage(QStringLiteral("la password non può essere vuota."));

    QTextStream out(stdout);
    QTextStream err(stderr);
    ProgressLine progress = ProgressLine::onTerminal();
    try {
        if (isCreate) {
            GlossaryFile::create(args[1], key);
            out << QStringLiteral("Creato il glossario '%1'.\n").arg(args[1]);
        } else if (isImport) {
            const GlossaryImport::Result result =
                GlossaryImport::importFile(args[1], args[2], key, {parser.isSet(create)}, progress);
            out << QStringLiteral("%1 a '%2'.\n").arg(counted(result.added, "riga aggiunta", "righe aggiunte"), args[1]);
        } else {
            const qsizetype written = GlossaryExport::exportFile(args[1], args[2], key, progress);
            out << QStringLiteral("%1 in '%2'.\n").arg(counted(written, "riga scritta", "righe scritte"), args[2]);
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
        err << QStringLiteral("zorvane-db: la riga con ID %1 non può andare in un file CSV: %2.\n"
                              "Il file '%3' non è stato scritto.\n")
                   .arg(e.id())
                   .arg(e.reason(), args[2]);
        return Failed;
    } catch (const DbError &e) {
        progress.interrupt();
        err << QStringLiteral("zorvane-db: %1 (errore %2)\n").arg(e.description()).arg(e.number());
        return Failed;
    }
    return Done;
}
