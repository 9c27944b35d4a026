#include "TextFile.h"

#include "DbError.h"
#include "InputError.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray Utf16LeBom = QByteArrayLiteral("\xFF\xFE");
const QByteArray Utf16BeBom = QByteArrayLiteral("\xFE\xFF");

// The line of the first byte sequence that is not UTF-8, for a file whose mark promised UTF-8.
int firstBadUtf8Line(const QByteArray &bytes)
{
    int line = 1;
    for (const QByteArray &text : bytes.split('\n')) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder(text);
        if (decoder.hasError())
            return line;
        ++line;
    }
    return line;
}

// Qt's UTF-16 decoder passes half a surrogate pair through, and UTF-8 cannot carry one.
void checkSurrogates(const QString &text)
{
    int line = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\n')
            ++line;
        else if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            throw InputError(line, QStringLiteral("il testo UTF-16 contiene mezza coppia di surrogati (U+%1)")
                                       .arg(QString::number(c.unicode(), 16).toUpper()));
    }
}

} // namespace

namespace TextFile {

Decoded decode(const QByteArray &bytes)
{
    if (bytes.startsWith(Utf16LeBom) || bytes.startsWith(Utf16BeBom)) {
        QStringDecoder decoder(bytes.startsWith(Utf16LeBom) ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        const QString text = decoder(QByteArrayView(bytes).sliced(2));
        if (bytes.size() % 2 != 0)
            throw InputError(int(text.count(u'\n')) + 1,
                             QStringLiteral("il file UTF-16 finisce a metà di un carattere"));
        checkSurrogates(text);
        return {text};
    }
    const bool marked = bytes.startsWith(Utf8Bom);
    const QByteArrayView body = QByteArrayView(bytes).sliced(marked ? Utf8Bom.size() : 0);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(body);
    if (!utf8.hasError())
        return {text};
    if (marked)
        throw InputError(firstBadUtf8Line(body.toByteArray()),
                         QStringLiteral("il file si dichiara UTF-8 ma il testo non è UTF-8 valido"));
    QStringDecoder windows1252("windows-1252");
    return {windows1252(bytes), true};
}

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
