#include "platform/files/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

} // namespace

namespace WholeFile {

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

std::optional<int> writeStream(const QString &path, const QByteArray &bytes)
{
    Descriptor stream(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC));
    if (stream.get() < 0 || !writeAll(stream.get(), bytes))
        return errno;
    if (!stream.close())
        return errno;
    return std::nullopt;
}

std::optional<int> replace(const QString &path, const QByteArray &bytes)
{
    struct stat entry;
    const struct stat *previous = ::lstat(QFile::encodeName(path).constData(), &entry) == 0 ? &entry : nullptr;
    QByteArray fresh;
    int fd = -1;
    do {
        fresh = QFile::encodeName(besideName(path));
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

} // namespace WholeFile
