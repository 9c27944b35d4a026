#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <optional>

class Connection;
struct sqlite3_stmt;

// One prepared statement of a connection, finalised with its owner. A text that holds a second statement
// is refused; a failure to prepare or to step is thrown as SqliteError.
class Statement {
public:
    Statement(const Connection &connection, const QString &sql);
    Statement(const Connection &connection, const char *sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Each value as its own type: NULL, integer, real, blob (a QByteArray), anything else text; so a
    // value read and bound again is the same value.
    void bind(int index, const QVariant &value);
    // A text keeps every character, a U+FEFF at its start included; nullopt is NULL.
    void bind(int index, const std::optional<QString> &text);
    // True while there is a row; false when the statement has run to its end.
    bool step();
    // Back to before the first row, which also ends the statement's read of the file.
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int column) const;
    QVariant value(int column) const;
    qint64 integer(int column) const;
    QString text(int column) const;
    std::optional<QString> optionalText(int column) const;
    // Valid until the next step or reset.
    QByteArrayView utf8(int column) const;

private:
    const Connection &m_connection;
    sqlite3_stmt *m_stmt = nullptr;
};
