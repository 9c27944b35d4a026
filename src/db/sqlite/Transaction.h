#pragma once

class Connection;

// A write transaction that takes the file's write lock at once, and rolls back unless committed, so
// that a failure half-way leaves the file as it was.
class Transaction {
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit();

private:
    Connection &m_connection;
    bool m_open = true;
};
