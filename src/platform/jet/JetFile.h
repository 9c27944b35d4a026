#pragma once

#include "GlossaryFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// A glossary kept in the Jet 4.0 format (Access 2000-2003), read whole. The library of mdbtools finds
// the table and splits its rows; the texts, the long values and every page reference are read and
// checked here, because the library silently cuts, mangles or empties them.
class JetFile {
public:
    using Progress = std::function<void(qsizetype done, qsizetype total)>;

    // Whether the first bytes of the file are those of a Jet or Access database.
    static bool isJetFile(const QString &path);
    // The database password kept in a first page, empty when there is none; nullopt when the bytes are
    // not a Jet 4 first page.
    static std::optional<QString> storedPassword(const QByteArray &firstPage);

    // Opens a Jet 4 file and checks its password and its table; a failure is thrown as a DbError
    // (3031 wrong password, 3343 not a glossary or another format, 3049 damaged, 3051 unreadable).
    JetFile(const QString &path, const QString &password);
    ~JetFile();
    JetFile(const JetFile &) = delete;
    JetFile &operator=(const JetFile &) = delete;

    // How many rows the table says it holds.
    qsizetype rowCount() const { return m_rowCount; }
    // The last number the table's AutoNumber handed out, deleted rows included.
    qint64 lastAutoNumber() const { return m_lastAutoNumber; }

    // Every row, in ID order. Damage anywhere (a page past the end of the file, a broken long value,
    // fewer rows than the table counts) is thrown as DbError 3049 rather than read as empty texts.
    QList<GlossaryFile::Record> readAll(const Progress &progress = {});

private:
    struct Handle;
    [[noreturn]] void damaged(const QString &why) const;
    void readPage(quint32 page, bool alternate);
    QByteArray longValue(const unsigned char *header, int size);
    std::optional<QString> fieldText(int column, const void *fields);
    void readRowAt(int start, int size, QList<GlossaryFile::Record> &rows);
    void readRow(int row, quint32 page, QList<GlossaryFile::Record> &rows, int hops);

    QString m_path;
    qint64 m_fileSize = 0;
    std::unique_ptr<Handle> m_handle;
    qsizetype m_rowCount = 0;
    qint64 m_lastAutoNumber = 0;
    int m_idColumn = -1, m_termColumn = -1, m_definitionColumn = -1;
};
