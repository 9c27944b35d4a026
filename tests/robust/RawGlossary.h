#pragma once

#include "support/TempGlossary.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct sqlite3;

// A glossary file seen by another program: its own keyed SQLCipher connection, no recordset, so what it
// reports is what the file holds and not what the code under test believes it wrote.
class RawGlossary {
public:
    explicit RawGlossary(const QString &file, const QByteArray &key = GlossaryKey);
    ~RawGlossary();
    RawGlossary(const RawGlossary &) = delete;
    RawGlossary &operator=(const RawGlossary &) = delete;

    // "ok", or what SQLite found wrong, or why the check could not run.
    QString integrityCheck();
    // Every row by ID with its texts read as UTF-16 and their full length, so a NUL inside stays.
    // A failure leaves the rows read so far and its message in *error.
    QList<TempGlossary::StoredRow> rows(QString *error = nullptr);

    static QString journal(const QString &file) { return file + QStringLiteral("-journal"); }

private:
    sqlite3 *m_db = nullptr;
};
