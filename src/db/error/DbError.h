#pragma once

#include <QString>

#include <exception>
#include <string>

// The one failure type of the data layer: a number users of such glossaries know, and an Italian
// description that names the file where a file is involved.
class DbError : public std::exception {
public:
    enum Number {
        Unknown = 3000,
        NoCurrentRecord = 3021,
        FileNotFound = 3024,
        DiskFull = 3026,
        WrongPassword = 3031,
        Corrupt = 3049,
        FileLocked = 3051,
        ChangedMeanwhile = 3197,
        MalformedQuery = 3075,
        NoSuchField = 3265,
        NotAGlossary = 3343,
    };

    DbError(int number, QString description);
    // 3021: the row a handler works on is not there, with why when it is known.
    static DbError noCurrentRecord(const QString &why = QString());
    // 3197: another program changed the row after it was read; nothing was written.
    static DbError changedMeanwhile();

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    int m_number;
    QString m_description;
    std::string m_what;
};
