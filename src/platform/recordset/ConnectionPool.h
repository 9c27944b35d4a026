#pragma once

#include "ConnectionTarget.h"

#include <memory>

class Connection;

// Keyed connections kept between operations, one per file, so that a keystroke does not pay the key
// derivation again. A connection is handed out only while its file is still the same file; when the
// file has gone or been replaced, the next operation opens it afresh exactly as without the pool. An
// idle connection holds no lock.
namespace ConnectionPool {

std::shared_ptr<Connection> acquire(const ConnectionTarget &target);
// Forgets a connection that failed, so the next operation starts from a fresh one.
void discard(const std::shared_ptr<Connection> &connection);

// Off: every operation opens and keys its own connection (for measuring against).
void setEnabled(bool enabled);
bool enabled();
void clear();

} // namespace ConnectionPool
