#include "db/recordset/ConnectionPool.h"

#include "db/error/DbError.h"

#include <QByteArray>
#include <QFile>

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
    std::shared_ptr<KeptConnection> connection;
    Identity identity;
    QString password;
};

// The program works on one glossary file; a connection to any other is let go when that one is asked for.
struct Pool {
    bool enabled = true;
    QString file;
    Entry entry;
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

std::shared_ptr<KeptConnection> acquire(const ConnectionTarget &target)
{
    Pool &p = pool();
    if (!p.enabled)
        return std::make_shared<KeptConnection>(target);
    Identity id;
    const bool present = identify(target.dataSource, &id);
    Entry &e = p.entry;
    if (e.connection && p.file == target.dataSource && present && e.identity == id && e.password == target.password &&
        e.connection.use_count() == 1)
        return e.connection;
    clear();
    // A missing or unreadable file is reported by a fresh open, exactly as without the pool.
    auto connection = std::make_shared<KeptConnection>(target);
    if (present) {
        p.file = target.dataSource;
        p.entry = Entry{connection, id, target.password};
    }
    return connection;
}

void discard(const std::shared_ptr<KeptConnection> &connection)
{
    if (pool().entry.connection == connection)
        clear();
}

void preload(const ConnectionTarget &target)
{
    if (!pool().enabled)
        return;
    std::shared_ptr<KeptConnection> kept;
    try {
        kept = acquire(target);
        glossary::worded(target.dataSource, [&] { kept->loader.refresh(kept->connection, kept->index, true); });
    } catch (const DbError &) {
        if (kept)
            discard(kept);
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
    pool().file.clear();
    pool().entry = Entry();
}

} // namespace ConnectionPool
