#pragma once

#include "db/glossary/GlossaryFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>

// Files as the tests see them from outside: their bytes, what a folder holds, and the sqlcipher command
// line as another program on the glossary.
namespace Files {

inline QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A new file in the old one's place, as a copy or a save by another program makes it.
inline void replaceFile(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QFile::remove(path));
    writeFile(path, bytes);
}

inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// True when the sqlcipher program ran the SQL on the glossary without a complaint.
inline bool runSqlcipher(const QString &file, const QString &sql)
{
    QProcess p;
    p.start(QStringLiteral("sqlcipher"), {file});
    if (!p.waitForStarted())
        return false;
    p.write(("PRAGMA key = '" + GlossaryFile::DefaultPassword + "';\n" + sql + "\n").toUtf8());
    p.closeWriteChannel();
    return p.waitForFinished() && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 &&
           p.readAllStandardError().isEmpty();
}

} // namespace Files
