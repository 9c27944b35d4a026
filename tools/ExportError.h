#pragma once

#include <QString>

#include <exception>
#include <string>

// A glossary row that the chosen format cannot carry so that importing the file gives it back: the row's
// ID and why, in Italian. Nothing is written when one is found.
class ExportError : public std::exception {
public:
    ExportError(qint64 id, QString reason);

    qint64 id() const noexcept { return m_id; }
    const QString &reason() const noexcept { return m_reason; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    qint64 m_id;
    QString m_reason;
    std::string m_what;
};
