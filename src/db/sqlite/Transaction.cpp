#include "db/sqlite/Transaction.h"

#include "db/sqlite/Connection.h"

#include <sqlcipher/sqlite3.h>

Transaction::Transaction(Connection &connection) : m_connection(connection)
{
    m_connection.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (m_open)
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    m_connection.exec("COMMIT");
    m_open = false;
}
