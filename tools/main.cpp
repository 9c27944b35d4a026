#include "CsvError.h"
#include "CsvGlossary.h"
#include "DbError.h"
#include "GlossaryFile.h"
#include "JetFile.h"
#include "JetImport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

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

// Long files show how far the work is, on a terminal only, on one line that rewrites itself.
JetCarryOver::Progress terminalProgress()
{
    if (!isatty(STDERR_FILENO))
        return {};
    return [](JetCarryOver::Phase phase, qsizetype done, qsizetype total) {
        QTextStream(stderr) << (phase == JetCarryOver::Phase::Reading ? QStringLiteral("\rLettura: %1 di %2 righe   ")
                                                                      : QStringLiteral("\rScrittura: %1 di %2 righe "))
                                   .arg(done)
                                   .arg(total)
                            << (done == total ? QStringLiteral("\n") : QString());
    };
}

int wrongUsage(const QString &why)
{
    QTextStream(stderr) << QStringLiteral("zorvane-db: %1\nPer l'aiuto: zorvane-db --help\n").arg(why);
    return WrongUsage;
}

QString dashed(const QString &option)
{
    return (option.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + option;
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
    if (!isCreate && command != u"import" && command != u"export")
        return wrongUsage(QStringLiteral("comando sconosciuto: %1.").arg(command));
    if (args.size() != (isCreate ? 2 : 3))
        return wrongUsage(isCreate
                              ? QStringLiteral("create vuole il nome di un file.")
                              : QStringLiteral("%1 vuole il nome del glossario e quello del file CSV.").arg(command));
    if (parser.isSet(create) && command != u"import")
        return wrongUsage(QStringLiteral("--create vale solo con import."));
    const QString key = parser.value(password);
    // SQLCipher would take an empty key as no protection at all.
    if (key.isEmpty())
        return wrongUsage(QStringLiteral("la password non può essere vuota."));

    QTextStream out(stdout);
    QTextStream err(stderr);
    try {
        if (isCreate) {
            GlossaryFile::create(args[1], key);
            out << QStringLiteral("Creato il glossario '%1'.\n").arg(args[1]);
        } else if (command == u"import") {
            const qsizetype added = JetFile::isJetFile(args[2])
                                        ? JetImport::importFile(args[1], args[2], key, parser.isSet(create),
                                                                terminalProgress())
                                        : CsvGlossary::importFile(args[1], args[2], key, parser.isSet(create));
            out << QStringLiteral("Aggiunte %1 righe a '%2'.\n").arg(added).arg(args[1]);
        } else {
            const qsizetype written = CsvGlossary::exportFile(args[1], args[2], key);
            out << QStringLiteral("Scritte %1 righe in '%2'.\n").arg(written).arg(args[2]);
        }
    } catch (const CsvError &e) {
        err << QStringLiteral("zorvane-db: file CSV '%1', riga %2: %3.\n").arg(args[2]).arg(e.line()).arg(e.reason());
        return Failed;
    } catch (const DbError &e) {
        err << QStringLiteral("zorvane-db: %1 (errore %2)\n").arg(e.description()).arg(e.number());
        return Failed;
    }
    return Done;
}
