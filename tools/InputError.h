#pragma once

#include <QString>

#include <exception>
#include <string>

// A file that cannot become glossary rows: the line (from 1) where the offending record starts, 0 when the
// file as a whole is at fault, and why, in Italian. The kind names the format the file was read as ("CSV",
// "TSV", "TBX"), so the user knows how it was taken; it stays empty when no format had been chosen yet.
class InputError : public std::exception {
public:
    InputError(int line, QString reason, QString kind = {});

    int line() const noexcept { return m_line; }
    const QString &reason() const noexcept { return m_reason; }
    const QString &kind() const noexcept { return m_kind; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    int m_line;
    QString m_reason;
    QString m_kind;
    std::string m_what;
};
