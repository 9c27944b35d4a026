#pragma once

#include <QList>
#include <QString>

#include <limits>

// Making, filling and reading glossary files from outside the program: the window itself never creates one.
namespace GlossaryFile {

struct Row {
    QString term;
    QString definition;
    bool operator==(const Row &) const = default;
};

inline const QString DefaultPassword = QStringLiteral("RUNFALK");
// The window carries an ID in 16 bits, so it could never select a row above this.
constexpr qint64 WindowMaxId = 32767;

// A new protected file with an empty Tbl_Zorvane; an existing file is refused with a DbError.
void create(const QString &path, const QString &password = DefaultPassword);
// Adds the rows in one transaction, with IDs following the highest stored one; when a row would get an ID
// above maxId nothing is added and a DbError says so.
void append(const QString &path, const QList<Row> &rows, const QString &password = DefaultPassword,
            qint64 maxId = std::numeric_limits<qint64>::max());
// Every row in ID order.
QList<Row> readAll(const QString &path, const QString &password = DefaultPassword);

} // namespace GlossaryFile
