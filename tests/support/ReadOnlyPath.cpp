#include "support/ReadOnlyPath.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

ReadOnlyPath::ReadOnlyPath(const QString &path) : m_path(path), m_permissions(QFile::permissions(path))
{
    if (geteuid() == 0) {
        m_immutable = setImmutable(true);
    } else {
        // A folder must stay searchable, or its file could not even be read.
        QFile::setPermissions(m_path, QFileInfo(m_path).isDir() ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                                : QFileDevice::ReadOwner);
    }
}

ReadOnlyPath::~ReadOnlyPath()
{
    lift();
}

bool ReadOnlyPath::writable() const
{
    return ::access(QFile::encodeName(m_path).constData(), W_OK) == 0;
}

void ReadOnlyPath::lift()
{
    if (m_immutable)
        m_immutable = !setImmutable(false);
    QFile::setPermissions(m_path, m_permissions);
}

bool ReadOnlyPath::setImmutable(bool on) const
{
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}
