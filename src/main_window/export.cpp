#include "db/glossary/Store.h"
#include "main_window/Form1.h"
#include "platform/files/FileError.h"
#include "platform/files/WholeFile.h"
#include "platform/msgbox/MsgBox.h"
#include "platform/shell/Shell.h"

#include <QDateTime>
#include <QFileInfo>
#include <QListView>
#include <QLocale>
#include <QUrl>

#include <cerrno>
#include <optional>

namespace {

// The publisher, named in the credits; the export file, its box and the update link take the site's
// address from its one domain.
constexpr QStringView PublisherDomain = u"pelvaro.example";
constexpr QStringView PublisherName = u"Edizioni Pelvaro";

QString publisherHost()
{
    return QStringLiteral("www.") + PublisherDomain.toString();
}

QString downloadPage()
{
    return publisherHost() + QStringLiteral("/Pelvaro_Download.asp");
}

// UTF-8 because this platform has no ANSI code page; CR LF so that every text viewer, Windows' too,
// shows the lines.
QByteArray exportDocument(const QString &term, const QString &definition)
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    // The definition keeps its own line breaks, written as CR LF like every other line end; breaks
    // already stored as CR LF are not doubled.
    QString body = definition;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\n', QStringLiteral("\r\n"));
    const QStringList lines = {
        QStringLiteral("DATA: ") + locale.toString(now.date(), QLocale::ShortFormat) + QStringLiteral("   ORE: ") +
            locale.toString(now.time(), QLocale::ShortFormat),
        QString(),
        QString(),
        QStringLiteral("Z O R V A N E"),
        QString(),
        term,
        body,
        QString(),
        QString(61, u'*'),
        QStringLiteral("Dati elaborati dal 'ZORVANE' a cura di ") + PublisherName.toString(),
        QString(88, u'-'),
        downloadPage(),
        QString(88, u'-'),
    };
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

// The whole file or nothing, and never written through a link at the name. Gives the reason of a failure.
std::optional<QString> saveWhole(const QString &path, const QByteArray &content)
{
    const QFileInfo target(path);
    if (!QFileInfo(target.path()).isDir())
        return FileError::reason(ENOTDIR);
    if (target.isDir() && !target.isSymLink())
        return FileError::reason(EISDIR);
    if (const std::optional<int> error = WholeFile::replace(path, content))
        return FileError::reason(*error);
    return std::nullopt;
}

std::optional<QString> save(const QString &path, const QByteArray &content)
{
    if (const std::optional<QString> reason = saveWhole(path, content))
        return QStringLiteral("Impossibile salvare il file '%1': %2.").arg(path, *reason);
    return std::nullopt;
}

} // namespace

void Form1::Print_Termine_Click()
{
    const QString definition = TextDEFINIZIONE->Text();
    const QString term = TextPAROLA->text();
    if (definition.isEmpty() || term.isEmpty()) {
        MsgBox::show(QStringLiteral("Non è stata selezionato nessun Termine!!"), 48, QStringLiteral("MANCANZA DATI"));
        List1[0]->setFocus();
        return;
    }
    const QString file = store::AppPath() + QStringLiteral("/ZORVANE.txt");
    if (const std::optional<QString> failure = save(file, exportDocument(term, definition))) {
        MsgBox::show(*failure, 0);
        return;
    }
    MsgBox::show(QStringLiteral("Il File 'ZORVANE.txt' è stato salvato in:  ") + store::AppPath() + u'/', 1,
                 QStringLiteral("ZORVANE by ") + PublisherDomain.toString());
    if (!OpenFile(winId(), file, QStringLiteral("open"), QString(), QString()))
        MsgBox::show(QStringLiteral("Il file '%1' è stato salvato, ma nessun programma ha potuto aprirlo.").arg(file),
                     48);
}

bool Form1::OpenFile(WId, const QString &file, const QString &Operation, const QString &, const QString &)
{
    // The desktop knows one verb, open, always in a normal window; the owner window, the parameters and
    // the working folder have no counterpart there.
    return Operation == QStringLiteral("open") && Shell::openFile(file);
}

void Form1::Vis_Versione_Click()
{
    MsgBox::show(QStringLiteral("Zorvane versione " ZORVANE_VERSION "\n\nGlossario di termini e definizioni.\n") +
                     PublisherName.toString() + QStringLiteral(" - ") + publisherHost(),
                 64, QStringLiteral("Versione Zorvane"));
}

void Form1::Label56_Click()
{
    const QUrl page(QStringLiteral("http://") + downloadPage());
    if (!Shell::openUrl(page))
        MsgBox::show(
            QStringLiteral("Impossibile aprire la pagina %1: nessun browser ha risposto.").arg(page.toString()), 48);
}
