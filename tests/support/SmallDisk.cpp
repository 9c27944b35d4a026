#include "support/SmallDisk.h"

#include "db/recordset/ConnectionPool.h"

#include <QFile>
#include <QProcess>

SmallDisk::SmallDisk(const QString &size)
{
    QProcess mount;
    mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=" + size + ",mode=0700", "zorvane-test", m_dir.path()});
    m_mounted = mount.waitForFinished() && mount.exitStatus() == QProcess::NormalExit && mount.exitCode() == 0;
    m_why = QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
    if (m_why.isEmpty())
        m_why = mount.errorString();
}

QString SmallDisk::fill(qint64 sparePages)
{
    constexpr qint64 Page = 4096;
    const QString name = path() + QStringLiteral("/riempitivo");
    QFile filler(name);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return QString();
    const QByteArray page(Page, 'x');
    while (filler.write(page) == page.size()) {
    }
    if (!filler.resize((filler.size() / Page - sparePages) * Page))
        return QString();
    return name;
}

bool SmallDisk::makeReadOnly() const
{
    return QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", path()}) == 0;
}

SmallDisk::~SmallDisk()
{
    if (!m_mounted)
        return;
    // The kept connection would hold the file system busy.
    ConnectionPool::clear();
    QProcess::execute(QStringLiteral("umount"), {m_dir.path()});
}
