#pragma once

#include "db/glossary/GlossaryFile.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>

// The glossary's key as another program gives it to SQLite.
inline const QByteArray GlossaryKey = GlossaryFile::DefaultPassword.toUtf8();

// Runs SQL on a file as another program would, with a connection of its own, making the file if there is
// none; without a key the file is plain SQLite.
void execOn(const QString &file, const QByteArray &key, const QString &sql);

// A folder of its own with a glossary file in it, standing in for the executable's folder.
class TempGlossary {
public:
    struct StoredRow {
        qint64 id;
        QString term;
        QString definition;
        bool operator==(const StoredRow &) const = default;
    };

    explicit TempGlossary(std::initializer_list<GlossaryFile::Row> rows = {});
    ~TempGlossary();

    QString folder() const { return m_dir.path(); }
    QString file() const { return m_dir.path() + QStringLiteral("/QUORLAN.mdb"); }
    void add(const QList<GlossaryFile::Row> &rows);
    // Runs SQL on the file as another program would, with its own keyed connection.
    void exec(const QString &sql) const;
    // The first column of the first row a query gives, as text, read with its own connection.
    QString value(const QString &sql) const;
    // Every row by ID, read with its own connection.
    QList<StoredRow> rows() const;

private:
    QTemporaryDir m_dir;
};
