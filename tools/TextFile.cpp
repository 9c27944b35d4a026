#include "TextFile.h"

#include "DbError.h"

#include <QFile>
#include <QSaveFile>

namespace TextFile {

QByteArray read(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        throw DbError(DbError::FileNotFound, QStringLiteral("Impossibile trovare il file '%1'.").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Impossibile leggere il file '%1': accesso non consentito.").arg(path));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw DbError(DbError::Unknown, QStringLiteral("Errore di lettura del file '%1'.").arg(path));
    return bytes;
}

void write(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Impossibile scrivere il file '%1': la cartella non esiste o l'accesso "
                                     "non è consentito.")
                          .arg(path));
    file.write(bytes);
    if (!file.commit())
        throw DbError(file.error() == QFileDevice::ResourceError ? DbError::DiskFull : DbError::Unknown,
                      QStringLiteral("Impossibile completare il file '%1': il file precedente resta com'era.")
                          .arg(path));
}

} // namespace TextFile
