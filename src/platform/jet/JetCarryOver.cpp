#include "JetCarryOver.h"

#include "DbError.h"
#include "GlossaryFile.h"
#include "JetFile.h"

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

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa {}, sb {};
    return stat(QFile::encodeName(a).constData(), &sa) == 0 && stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
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
    if (ok && QFileInfo::exists(to)) {
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

QString keptName(const QString &glossary)
{
    const QFileInfo info(glossary);
    const QString stem = info.path() + u'/' + info.completeBaseName() + QStringLiteral("-originale");
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    for (int n = 1;; ++n) {
        const QString name = stem + (n == 1 ? QString() : u'-' + QString::number(n)) + suffix;
        if (!QFileInfo::exists(name) || sameFile(name, glossary))
            return name;
    }
}

Result run(const QString &glossary, const QString &password, const Progress &progress)
{
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
    QString kept;
    for (;;) {
        kept = keptName(glossary);
        if (sameFile(kept, glossary))
            break;
        if (link(QFile::encodeName(glossary).constData(), QFile::encodeName(kept).constData()) == 0)
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
    return {records.size(), kept};
}

} // namespace JetCarryOver
