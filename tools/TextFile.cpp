#include "tools/TextFile.h"

#include "db/error/DbError.h"
#include "platform/files/FileError.h"
#include "platform/files/WholeFile.h"
#include "tools/InputError.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

#include <sys/stat.h>

namespace {

const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray Utf16LeBom = QByteArrayLiteral("\xFF\xFE");
const QByteArray Utf16BeBom = QByteArrayLiteral("\xFE\xFF");
// Only the file's first U+FEFF is a mark, dropped before decoding; the decoders would drop one more.
constexpr QStringDecoder::Flag TextAfterMark = QStringDecoder::Flag::ConvertInitialBom;

// The length of the UTF-8 sequence that starts at i, 0 where none does. The second byte's range rules out
// overlong forms, surrogates and code points above U+10FFFF, as RFC 3629 does.
qsizetype utf8SequenceAt(QByteArrayView bytes, qsizetype i)
{
    const uchar lead = uchar(bytes[i]);
    if (lead < 0x80)
        return 1;
    if (lead < 0xC2 || lead > 0xF4)
        return 0;
    const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    const uchar low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uchar high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (i + length > bytes.size())
        return 0;
    for (qsizetype k = 1; k < length; ++k) {
        const uchar next = uchar(bytes[i + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

struct Utf8Scan {
    qsizetype firstBad = -1; // the offset of the first byte that starts no UTF-8 sequence
    qsizetype bad = 0; // such bytes
    qsizetype multibyte = 0; // sequences of two to four bytes
};

Utf8Scan scanUtf8(QByteArrayView bytes)
{
    Utf8Scan scan;
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = utf8SequenceAt(bytes, i);
        if (length == 0 && scan.firstBad < 0)
            scan.firstBad = i;
        scan.bad += length == 0;
        scan.multibyte += length > 1;
        i += std::max<qsizetype>(length, 1);
    }
    return scan;
}

// Names the line of the byte at, and the byte's place in that line, both from 1.
InputError notUtf8(QByteArrayView bytes, qsizetype at, const QString &claim, const QString &kind = {})
{
    const QByteArrayView before = bytes.first(at);
    return InputError(int(before.count('\n')) + 1,
        QStringLiteral("%1 ma il byte %2 della riga (0x%3) non è UTF-8 valido")
            .arg(claim)
            .arg(at - before.lastIndexOf('\n'))
            .arg(QString::number(uchar(bytes[at]), 16).toUpper()),
        kind);
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

// UTF-16 puts a NUL beside every Latin letter, nearly always on the same side of it, while no text that
// can be imported holds a NUL at all.
bool looksLikeUtf16(QByteArrayView bytes)
{
    const QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), 4096) & ~qsizetype(1));
    qsizetype nuls[2] = {0, 0};
    for (qsizetype i = 0; i < head.size(); ++i)
        nuls[i % 2] += head[i] == '\0';
    const qsizetype most = std::max(nuls[0], nuls[1]);
    return most * 4 > head.size() && std::min(nuls[0], nuls[1]) * 10 < most;
}

[[noreturn]] void refused(const QString &path, int number, const QString &reason)
{
    throw DbError(number, QStringLiteral("Impossibile scrivere il file '%1': %2.").arg(path, reason));
}

[[noreturn]] void failed(const QString &path, int error, bool previousKept)
{
    const int number = error == ENOSPC || error == EDQUOT                    ? DbError::DiskFull
                       : error == EACCES || error == EPERM || error == EROFS ? DbError::FileLocked
                                                                             : DbError::Unknown;
    refused(path, number,
            FileError::reason(error) + (previousKept ? QStringLiteral("; il file che c'era resta com'era") : QString()));
}

} // namespace

namespace TextFile {

Decoded decode(const QByteArray &bytes)
{
    if (bytes.startsWith(Utf16LeBom) || bytes.startsWith(Utf16BeBom)) {
        QStringDecoder decoder(bytes.startsWith(Utf16LeBom) ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                               TextAfterMark);
        const QString text = decoder(QByteArrayView(bytes).sliced(2));
        if (bytes.size() % 2 != 0)
            throw InputError(int(text.count(u'\n')) + 1,
                             QStringLiteral("il file UTF-16 finisce a metà di un carattere"));
        checkSurrogates(text);
        return {text};
    }
    if (looksLikeUtf16(bytes))
        throw InputError(0, QStringLiteral("il testo sembra UTF-16 senza BOM (un byte nullo ogni due): va salvato in "
                                           "UTF-8 o in UTF-16 con BOM"));
    const bool marked = bytes.startsWith(Utf8Bom);
    const QByteArrayView body = QByteArrayView(bytes).sliced(marked ? Utf8Bom.size() : 0);
    const Utf8Scan scan = scanUtf8(body);
    if (scan.firstBad < 0) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | TextAfterMark);
        return { utf8(body) };
    }
    if (marked)
        throw notUtf8(body, scan.firstBad, QStringLiteral("il file si dichiara UTF-8"));
    // Windows-1252 text makes a valid UTF-8 sequence only by chance ("É»"), among many bytes that are not;
    // UTF-8 text with a few stray bytes has more sequences than strays.
    if (scan.multibyte >= scan.bad)
        throw notUtf8(body, scan.firstBad, QStringLiteral("il file è in UTF-8"));
    QStringDecoder windows1252("windows-1252");
    return {windows1252(bytes), true};
}

void checkUtf8(QByteArrayView bytes, const QString &claim, const QString &kind)
{
    if (const qsizetype bad = scanUtf8(bytes).firstBad; bad >= 0)
        throw notUtf8(bytes, bad, claim, kind);
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
    const QByteArray name = QFile::encodeName(path);
    struct stat entry;
    struct stat target;
    const bool exists = ::lstat(name.constData(), &entry) == 0;
    // Even through a link: a rename would take the device or the pipe away from everyone else.
    const bool stream = exists && ::stat(name.constData(), &target) == 0
                        && (S_ISCHR(target.st_mode) || S_ISFIFO(target.st_mode));
    if (exists && S_ISDIR(entry.st_mode))
        failed(path, EISDIR, false);
    if (exists && !stream && !S_ISREG(entry.st_mode) && !S_ISLNK(entry.st_mode))
        refused(path, DbError::Unknown, QStringLiteral("al suo posto c'è un disco o un socket, non un file"));
    if (const std::optional<int> error = stream ? WholeFile::writeStream(path, bytes) : WholeFile::replace(path, bytes))
        failed(path, *error, exists && !stream);
}

} // namespace TextFile
