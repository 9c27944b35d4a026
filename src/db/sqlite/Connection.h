#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>

struct sqlite3;

// One SQLite connection, closed with its owner. It knows nothing of what the file holds: a failed call
// is thrown as SqliteError with SQLite's own code.
class Connection {
public:
    enum class Mode { ReadWrite, Create };

    explicit Connection(const QString &file, Mode mode = Mode::ReadWrite);
    Connection(Connection &&) = default;
    Connection &operator=(Connection &&) = default;

    sqlite3 *handle() const { return m_db.get(); }
    const QString &file() const { return m_file; }

    // The SQLCipher key, given before the first read; never pasted into SQL text.
    void key(QByteArrayView key);
    void setBusyTimeout(int ms);
    void exec(const char *sql);
    // Rows the last write changed.
    qint64 changes() const;
    qint64 lastInsertRowId() const;

private:
    struct Closer {
        void operator()(sqlite3 *db) const;
    };

    QString m_file;
    std::unique_ptr<sqlite3, Closer> m_db;
};
