#pragma once

#include <QList>
#include <QString>

// Making and filling glossary files from outside the program: the window itself never creates one.
namespace GlossaryFile {

struct Row {
    QString term;
    QString definition;
};

inline const QString DefaultPassword = QStringLiteral("RUNFALK");

// A new protected file with an empty Tbl_Zorvane; an existing file is refused with a DbError.
void create(const QString &path, const QString &password = DefaultPassword);
// Adds the rows in one transaction, with IDs following the highest stored one.
void append(const QString &path, const QList<Row> &rows, const QString &password = DefaultPassword);

} // namespace GlossaryFile
