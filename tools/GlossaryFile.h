#pragma once

#include <QList>
#include <QString>


// Making, filling and reading glossary files from outside the program: the window itself never creates one.
namespace GlossaryFile {

struct Row {
    QString term;
    QString definition;
    bool operator==(const Row &) const = default;
};

inline const QString DefaultPassword = QStringLiteral("RUNFALK");

// A new protected file with an empty Tbl_Zorvane; an existing file is refused with a DbError.
void create(const QString &path, const QString &password = DefaultPassword);
// Adds the rows in one transaction, with IDs following the highest stored one.
void append(const QString &path, const QList<Row> &rows, const QString &password = DefaultPassword);
// Every row in ID order.
QList<Row> readAll(const QString &path, const QString &password = DefaultPassword);

} // namespace GlossaryFile
