#pragma once

#include "db/glossary/GlossaryFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <QSet>

#include <functional>
#include <memory>
#include <optional>

// A glossary kept in the Jet 4.0 format (Access 2000-2003), read whole. The library of mdbtools finds
// the table, its columns and its pages; the rows, the texts and the long values are split and read here,
// and everything the file says about them is checked against what it holds, because the library silently
// cuts, mangles or empties what a damaged file says wrongly.
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
    // Where a column of ours lies in a row, as the table definition says.
    struct Column {
        int number = -1; // its bit in the null mask
        int varIndex = -1; // its entry in the row's table of variable columns
        int fixedOffset = 0;
        int size = 0; // bytes of a fixed column; the most bytes of a text column
        int type = 0;
    };
    struct Span {
        int start = 0, end = 0;
    };

    [[noreturn]] void damaged(const QString &why) const;
    void checkTableDefinition(quint32 definitionPage);
    const unsigned char *page(quint32 number) const;
    Span rowSpan(const unsigned char *page, quint32 number, int row) const;
    QByteArray longValue(const unsigned char *header, int size);
    std::optional<QString> text(const Column &column, const unsigned char *bytes, int size, bool null);
    void readRowAt(const unsigned char *row, int size, QList<GlossaryFile::Record> &rows);
    void readRow(int row, quint32 page, QList<GlossaryFile::Record> &rows, int hops);

    QString m_path;
    QByteArray m_bytes; // the whole file, read once
    std::unique_ptr<Handle> m_handle;
    qsizetype m_rowCount = 0;
    qint64 m_lastAutoNumber = 0;
    Column m_id, m_term, m_definition;
    int m_maxColumns = 0, m_fixedEnd = 0;
    // Every row reached by a pointer (a moved row, a part of a long value): each is reached once only.
    QSet<quint32> m_reached;
};
