#include "db/mdb/JetCarryOver.h"

#include "db/error/DbError.h"
#include "db/glossary/GlossaryFile.h"
#include "db/mdb/JetFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Names are looked at, never followed: a link named like the kept original is taken, wherever it leads.
bool sameFile(const QString &a, const QString &b)
{
    struct stat sa {
    }, sb {};
    return lstat(QFile::encodeName(a).constData(), &sa) == 0 && lstat(QFile::encodeName(b).constData(), &sb) == 0 &&
        sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool taken(const QString &name)
{
    struct stat st { };
    return lstat(QFile::encodeName(name).constData(), &st) == 0 || errno != ENOENT;
}

// "NAME-originale.EXT", then "NAME-originale-N.EXT" from N = 2.
QString keptName(const QString &glossary, int n)
{
    const QFileInfo info(glossary);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    return info.path() + u'/' + info.completeBaseName() + QStringLiteral("-originale") +
        (n == 1 ? QString() : u'-' + QString::number(n)) + suffix;
}

// The new names must reach the disk before the program goes on as if they were there.
void syncFolder(const QString &folder)
{
    const int fd = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

[[noreturn]] void cannotWrite(const QString &glossary, const QString &folder, int error)
{
    if (error == ENOSPC || error == EDQUOT)
        throw DbError(DbError::DiskFull,
                      QStringLiteral("Spazio su disco insufficiente per convertire il glossario '%1'.").arg(glossary));
    throw DbError(DbError::FileLocked,
                  QStringLiteral("Impossibile convertire il glossario '%1': la cartella '%2' deve essere scrivibile.")
                      .arg(glossary, folder));
}

// A copy for file systems without hard links, written beside and renamed only when whole.
bool copyWhole(const QString &from, const QString &to, int *error)
{
    const QString part = to + QStringLiteral(".parte");
    QFile::remove(part);
    QFile in(from), out(part);
    bool ok = in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    while (ok && !in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        ok = in.error() == QFileDevice::NoError && out.write(chunk) == chunk.size();
    }
    ok = ok && out.flush() && fsync(out.handle()) == 0;
    *error = ok ? 0 : (out.error() == QFileDevice::ResourceError ? ENOSPC : EACCES);
    out.close();
    // Kept only where the name is still free: an existing file is never replaced.
    if (ok && taken(to)) {
        *error = EEXIST;
        ok = false;
    }
    ok = ok && std::rename(QFile::encodeName(part).constData(), QFile::encodeName(to).constData()) == 0;
    if (!ok && *error == 0)
        *error = errno;
    if (!ok)
        QFile::remove(part);
    return ok;
}

} // namespace

namespace JetCarryOver {

bool needed(const QString &glossary)
{
    return JetFile::isJetFile(glossary);
}

Result run(const QString &link, const QString &password, const Progress &progress)
{
    // A glossary reached through a link is carried over where the file itself lies, so that the link
    // names the new glossary afterwards and the file kept is the old one's bytes, not a copy of the link.
    const QFileInfo named(link);
    const QString glossary = named.isSymLink() ? named.canonicalFilePath() : link;
    if (glossary.isEmpty())
        throw DbError(DbError::FileNotFound, QStringLiteral("Impossibile trovare il file '%1'.").arg(link));
    JetFile old(glossary, password);
    const QList<GlossaryFile::Record> records = old.readAll([&](qsizetype done, qsizetype total) {
        if (progress)
            progress(Phase::Reading, done, total);
    });

    const QString folder = QFileInfo(glossary).absolutePath();
    if (access(QFile::encodeName(folder).constData(), W_OK) != 0)
        cannotWrite(glossary, folder, errno == EROFS ? EROFS : EACCES);
    // What an interrupted start left half-written is of no use: it is made again from the old file.
    const QString fresh = glossary + QStringLiteral(".conversione");
    GlossaryFile::removeWithJournal(fresh);
    auto cleanUp = qScopeGuard([&] { GlossaryFile::removeWithJournal(fresh); });
    try {
        GlossaryFile::createFrom(fresh, records, old.lastAutoNumber(), password, [&](qsizetype done, qsizetype total) {
            if (progress)
                progress(Phase::Writing, done, total);
        });
        GlossaryFile::verify(fresh, records.size(), password);
    } catch (const DbError &e) {
        // Said of the glossary the user knows, not of the file being made.
        if (e.number() == DbError::DiskFull)
            cannotWrite(glossary, folder, ENOSPC);
        if (e.number() == DbError::FileLocked)
            cannotWrite(glossary, folder, EACCES);
        throw;
    }

    // The old file gets its second name first, then the new file takes the first in one rename.
    // A name already there (a file, a link, even a dangling one) is passed over; one that already is this
    // very file, from an interrupted start, is taken again.
    QString kept;
    for (int n = 1;; ++n) {
        if (n > 10000)
            cannotWrite(glossary, folder, EEXIST);
        kept = keptName(glossary, n);
        if (sameFile(kept, glossary))
            break;
        if (taken(kept))
            continue;
        if (::link(QFile::encodeName(glossary).constData(), QFile::encodeName(kept).constData()) == 0)
            break;
        int error = errno;
        if (error == EEXIST)
            continue;
        if (error != EPERM && error != EXDEV && error != EMLINK && error != ENOTSUP && error != ENOSYS)
            cannotWrite(glossary, folder, error);
        if (copyWhole(glossary, kept, &error))
            break;
        if (error != EEXIST)
            cannotWrite(glossary, folder, error);
    }
    syncFolder(folder);
    if (std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(glossary).constData()) != 0)
        cannotWrite(glossary, folder, errno);
    cleanUp.dismiss();
    syncFolder(folder);
    return {records.size(), kept, glossary == link ? QString() : glossary};
}

} // namespace JetCarryOver
