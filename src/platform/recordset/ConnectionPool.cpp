#include "ConnectionPool.h"

#include "Connection.h"

#include <QByteArray>
#include <QFile>
#include <QHash>

#include <sys/stat.h>

namespace {

// What makes a file the same file: the same inode and the same salt in its first bytes (a file
// rewritten in place by another tool gets a new salt).
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray salt;
    bool operator==(const Identity &) const = default;
};

struct Entry {
    std::shared_ptr<Connection> connection;
    Identity identity;
    QString password;
};

struct Pool {
    bool enabled = true;
    QHash<QString, Entry> entries;
};

Pool &pool()
{
    static Pool p;
    return p;
}

bool identify(const QString &file, Identity *id)
{
    const QByteArray path = QFile::encodeName(file);
    struct stat st {};
    if (stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    id->device = st.st_dev;
    id->inode = st.st_ino;
    id->salt = f.read(16);
    return true;
}

} // namespace

namespace ConnectionPool {

std::shared_ptr<Connection> acquire(const ConnectionTarget &target)
{
    Pool &p = pool();
    if (!p.enabled)
        return std::make_shared<Connection>(target);
    Identity id;
    const bool present = identify(target.dataSource, &id);
    auto it = p.entries.find(target.dataSource);
    if (it != p.entries.end()) {
        if (present && it->identity == id && it->password == target.password && it->connection.use_count() == 1)
            return it->connection;
        p.entries.erase(it);
    }
    // A missing or unreadable file is reported by a fresh open, exactly as without the pool.
    auto connection = std::make_shared<Connection>(target);
    if (present)
        p.entries.insert(target.dataSource, Entry{connection, id, target.password});
    return connection;
}

void discard(const std::shared_ptr<Connection> &connection)
{
    Pool &p = pool();
    for (auto it = p.entries.begin(); it != p.entries.end(); ++it) {
        if (it->connection == connection) {
            p.entries.erase(it);
            return;
        }
    }
}

void setEnabled(bool enabled)
{
    pool().enabled = enabled;
    clear();
}

bool enabled()
{
    return pool().enabled;
}

void clear()
{
    pool().entries.clear();
}

} // namespace ConnectionPool
