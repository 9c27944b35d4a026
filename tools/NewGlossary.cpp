#include "tools/NewGlossary.h"

#include "db/error/DbError.h"
#include "db/glossary/GlossaryFile.h"
#include "platform/files/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>

namespace {

DbError alreadyThere(const QString &path)
{
    return DbError(DbError::Unknown, QStringLiteral("Il file '%1' esiste già: non viene sovrascritto.").arg(path));
}

} // namespace

namespace NewGlossary {

void make(const QString &path, const std::function<void(const QString &)> &fill)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        throw alreadyThere(path);
    const QString made = WholeFile::besideName(path);
    auto removed = qScopeGuard([&] { GlossaryFile::removeWithJournal(made); });
    try {
        fill(made);
    } catch (const DbError &e) {
        // Said of the file the user named, not of the one being made.
        throw DbError(e.number(), QString(e.description()).replace(made, path));
    }
    const QByteArray from = QFile::encodeName(made);
    const QByteArray to = QFile::encodeName(path);
    int error = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0 ? 0 : errno;
    // A file system that cannot refuse a taken name itself has the check above for it.
    if (error == EINVAL)
        error = std::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (error == EEXIST)
        throw alreadyThere(path);
    if (error != 0)
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Impossibile dare al glossario il nome '%1' (errore di sistema %2).")
                          .arg(path)
                          .arg(error));
    removed.dismiss();
}

} // namespace NewGlossary
