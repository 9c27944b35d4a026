#pragma once

#include <QString>

#include <exception>
#include <string>

struct sqlite3;

// A failed SQLite call as SQLite reports it: its result code and the engine's own message. Saying what it
// means to a user of a glossary is left to the layer that knows which file it is and why it was opened.
class SqliteError : public std::exception {
public:
    // Not one of SQLite's codes: a statement's text went on after its first statement.
    static constexpr int MoreThanOneStatement = -1;

    SqliteError(int code, QString message);
    // The connection's last error; the message must be read before anything else happens on it.
    [[noreturn]] static void raise(sqlite3 *db, int code);

    // The extended result code; primary() is its low byte.
    int code() const noexcept { return m_code; }
    int primary() const noexcept { return m_code & 0xff; }
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    int m_code;
    QString m_message;
    std::string m_what;
};
