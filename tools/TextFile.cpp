#include "TextFile.h"

#include "DbError.h"
#include "InputError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray Utf16LeBom = QByteArrayLiteral("\xFF\xFE");
const QByteArray Utf16BeBom = QByteArrayLiteral("\xFE\xFF");
// Only the file's first U+FEFF is a mark, dropped before decoding; the decoders would drop one more.
constexpr QStringDecoder::Flag TextAfterMark = QStringDecoder::Flag::ConvertInitialBom;

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

// A file descriptor closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    // Some file systems report a failed write only when the file is closed.
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Every byte from where the file stands, or false with errno set.
bool writeAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t written = ::write(fd, bytes.data(), size_t(bytes.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}

bool readAll(int fd, QByteArray &bytes)
{
    char buffer[65536];
    for (;;) {
        const ssize_t read = ::read(fd, buffer, sizeof buffer);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            return read == 0;
        bytes.append(buffer, read);
    }
}

// The system's own messages are in English.
QString cause(int error)
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
    case ENOTSUP:
        return QStringLiteral("al suo posto c'è un disco o un socket, non un file");
    default:
        return QStringLiteral("errore di sistema %1").arg(error);
    }
}

[[noreturn]] void failed(const QString &path, int error, bool previousKept)
{
    const int number = error == ENOSPC || error == EDQUOT                    ? DbError::DiskFull
                       : error == EACCES || error == EPERM || error == EROFS ? DbError::FileLocked
                                                                             : DbError::Unknown;
    throw DbError(number, QStringLiteral("Impossibile scrivere il file '%1': %2%3.")
                              .arg(path, cause(error),
                                   previousKept ? QStringLiteral("; il file che c'era resta com'era") : QString()));
}

// A device or a pipe (/dev/stdout, /dev/full) takes the bytes as they come: there is no file to replace.
std::optional<int> writeStream(const QByteArray &name, const QByteArray &bytes)
{
    Descriptor stream(::open(name.constData(), O_WRONLY | O_CLOEXEC));
    if (stream.get() < 0 || !writeAll(stream.get(), bytes))
        return errno;
    if (!stream.close())
        return errno;
    return std::nullopt;
}

// Where no new file can be made beside it (a read-only folder), the file already there is rewritten, and
// put back as it was when the writing fails.
std::optional<int> rewriteInPlace(const QByteArray &name, const QByteArray &bytes)
{
    Descriptor file(::open(name.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    QByteArray previous;
    if (file.get() < 0 || !readAll(file.get(), previous))
        return errno;
    if (::lseek(file.get(), 0, SEEK_SET) == 0 && writeAll(file.get(), bytes)
        && ::ftruncate(file.get(), bytes.size()) == 0 && ::fsync(file.get()) == 0)
        return file.close() ? std::nullopt : std::optional<int>(errno);
    const int error = errno;
    if (::ftruncate(file.get(), previous.size()) == 0 && ::lseek(file.get(), 0, SEEK_SET) == 0)
        writeAll(file.get(), previous);
    ::fsync(file.get());
    return error;
}

// The whole text is written beside the name, synced, and takes the name in one rename: a failed or
// interrupted export leaves the previous file as it was, and a link at the name is replaced itself
// instead of being written through.
std::optional<int> replace(const QString &path, const QByteArray &bytes, const struct stat *previous)
{
    QByteArray fresh;
    int fd = -1;
    do {
        fresh = QFile::encodeName(TextFile::besideName(path));
        fd = ::open(fresh.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EEXIST);
    Descriptor file(fd);
    if (fd < 0) {
        if ((errno == EACCES || errno == EPERM) && previous && S_ISREG(previous->st_mode))
            return rewriteInPlace(QFile::encodeName(path), bytes);
        return errno;
    }
    // A replaced file keeps its permissions.
    const bool written = (!previous || !S_ISREG(previous->st_mode) || ::fchmod(fd, previous->st_mode & 07777) == 0)
                         && writeAll(fd, bytes) && ::fsync(fd) == 0 && file.close()
                         && std::rename(fresh.constData(), QFile::encodeName(path).constData()) == 0;
    if (written)
        return std::nullopt;
    const int error = errno;
    ::unlink(fresh.constData());
    return error;
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
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | TextAfterMark);
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

QString besideName(const QString &path)
{
    const QFileInfo target(path);
    QString name;
    do {
        name = QStringLiteral("%1/.%2.%3")
                   .arg(target.path(), target.fileName())
                   .arg(QRandomGenerator::global()->generate(), 0, 36);
    } while (QFileInfo(name).exists() || QFileInfo(name).isSymLink());
    return name;
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
        failed(path, ENOTSUP, false);
    if (const std::optional<int> error = stream ? writeStream(name, bytes)
                                                : replace(path, bytes, exists ? &entry : nullptr))
        failed(path, *error, exists && !stream);
}

} // namespace TextFile
