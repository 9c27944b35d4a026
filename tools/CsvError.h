#pragma once

#include <QString>

#include <exception>
#include <string>

// A CSV file that cannot become glossary rows: the physical line (from 1) where the offending record
// starts, and why, in Italian.
class CsvError : public std::exception {
public:
    CsvError(int line, QString reason);

    int line() const noexcept { return m_line; }
    const QString &reason() const noexcept { return m_reason; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    int m_line;
    QString m_reason;
    std::string m_what;
};
