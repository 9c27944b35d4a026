#include "platform/files/FileError.h"

#include <cerrno>

namespace FileError {

QString reason(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("spazio su disco insufficiente");
    case EACCES:
    case EPERM:
        return QStringLiteral("accesso negato");
    case EROFS:
        return QStringLiteral("il disco è di sola lettura");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("la cartella non esiste");
    case EISDIR:
        return QStringLiteral("al suo posto c'è una cartella");
    case EIO:
        return QStringLiteral("errore di lettura o scrittura del disco");
    case EFBIG:
        return QStringLiteral("il file supera la dimensione massima");
    case ENAMETOOLONG:
        return QStringLiteral("il nome è troppo lungo");
    default:
        return QStringLiteral("la scrittura non è stata completata");
    }
}

} // namespace FileError
