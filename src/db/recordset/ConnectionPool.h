#pragma once

#include "db/glossary/ConnectionTarget.h"
#include "db/glossary/Glossary.h"
#include "db/search/TableIndex.h"
#include "db/search/TableLoader.h"
#include "db/sqlite/Connection.h"

#include <memory>

// A keyed connection and the in-memory copy of its table, which live and die together.
struct KeptConnection {
    explicit KeptConnection(const ConnectionTarget &target)
        : connection(glossary::open(target)), loader(glossary::names())
    {
    }
    Connection connection;
    TableIndex index;
    TableLoader loader;
};

// Keyed connections kept between operations, one per file, so that a keystroke does not pay the key
// derivation again. A connection is handed out only while its file is still the same file; when the
// file has gone or been replaced, the next operation opens it afresh exactly as without the pool. An
// idle connection holds no lock.
namespace ConnectionPool {

std::shared_ptr<KeptConnection> acquire(const ConnectionTarget &target);
// Forgets a connection that failed, so the next operation starts from a fresh one.
void discard(const std::shared_ptr<KeptConnection> &connection);
// Keys the file's connection and reads its whole table, definitions included, into the in-memory copy,
// so that the first operations find it ready. A failure is left for the next operation to meet and
// report as it would without this. Runs on any thread while nothing else uses the pool.
void preload(const ConnectionTarget &target);

// Off: every operation opens and keys its own connection (for measuring against).
void setEnabled(bool enabled);
bool enabled();
void clear();

} // namespace ConnectionPool
