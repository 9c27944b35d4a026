#include "Form1.h"
#include "MsgBox.h"
#include "Shell.h"
#include "Store.h"

#include <QDateTime>
#include <QFileInfo>
#include <QListView>
#include <QLocale>
#include <QTemporaryFile>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <optional>

#include <unistd.h>

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

// Qt's own file errors are in English: the reason the user reads is told from the kind of error.
QString writeFailure(const QFileDevice &file)
{
    return file.error() == QFileDevice::ResourceError ? QStringLiteral("spazio su disco insufficiente")
                                                      : QStringLiteral("la scrittura non è stata completata");
}

bool writeWhole(QFile &file, const QByteArray &content)
{
    return file.write(content) == content.size() && file.flush() && fsync(file.handle()) == 0;
}

// Where no new file can be made beside it (a read-only folder), the existing file is rewritten in place,
// and put back as it was when the writing fails.
std::optional<QString> rewriteInPlace(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return QStringLiteral("accesso negato");
    const QByteArray previous = file.readAll();
    if (file.seek(0) && writeWhole(file, content) && file.resize(content.size()))
        return std::nullopt;
    const QString reason = writeFailure(file);
    file.seek(0);
    file.write(previous);
    file.resize(previous.size());
    return reason;
}

// The whole file or nothing: the text is written beside and takes the name with one rename, so an
// interrupted or failed export leaves the previous file as it was, and a link at the name is replaced
// itself instead of being written through. Gives the reason of a failure.
std::optional<QString> saveWhole(const QString &path, const QByteArray &content)
{
    const QFileInfo target(path);
    if (!QFileInfo(target.path()).isDir())
        return QStringLiteral("la cartella non esiste");
    if (target.isDir() && !target.isSymLink())
        return QStringLiteral("al suo posto c'è una cartella");
    QTemporaryFile fresh(target.path() + QStringLiteral("/.ZORVANE.txt.XXXXXX"));
    if (!fresh.open()) {
        if (target.isFile() && !target.isSymLink())
            return rewriteInPlace(path, content);
        return QStringLiteral("accesso negato");
    }
    if (!writeWhole(fresh, content))
        return writeFailure(fresh);
    // Readable by others as any file the user saves.
    fresh.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    fresh.close();
    if (std::rename(QFile::encodeName(fresh.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return errno == EISDIR ? QStringLiteral("al suo posto c'è una cartella") : QStringLiteral("accesso negato");
    fresh.setAutoRemove(false);
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
