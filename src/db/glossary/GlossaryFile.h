#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Making, filling and reading glossary files from outside the window, which never creates one.
namespace GlossaryFile {

struct Row {
    QString term;
    QString definition;
    bool operator==(const Row &) const = default;
};

// A row with its own ID, as another format may hand it over; a database null stays apart from an
// empty text.
struct Record {
    qint64 id = 0;
    std::optional<QString> term;
    std::optional<QString> definition;
    bool operator==(const Record &) const = default;
};

inline const QString DefaultPassword = QStringLiteral("RUNFALK");

// A new protected file with an empty glossary table; an existing file is refused with a DbError.
void create(const QString &path, const QString &password = DefaultPassword);
// Adds the rows in one transaction, with IDs following the highest stored one.
void append(const QString &path, const QList<Row> &rows, const QString &password = DefaultPassword);
// Every row in ID order.
QList<Row> readAll(const QString &path, const QString &password = DefaultPassword);

// A new protected file holding exactly these records, IDs and nulls kept, in one transaction; a new
// row added later gets an ID above both the highest record and lastId, so that no ID handed out before
// comes back. The file is removed again when anything fails. progress(done, total) follows the rows.
void createFrom(const QString &path, const QList<Record> &records, qint64 lastId,
                const QString &password = DefaultPassword,
                const std::function<void(qsizetype, qsizetype)> &progress = {});
// Adds the records in one transaction with IDs following the highest stored one (their own IDs are not
// kept, as they may be taken); nulls stay nulls where the table allows them, and become empty texts where it
// refuses them, as tables made by earlier versions do. Returns the IDs of the rows so filled in.
QList<qint64> appendRecords(const QString &path, const QList<Record> &records,
                            const QString &password = DefaultPassword,
                            const std::function<void(qsizetype, qsizetype)> &progress = {});
// A term or definition stored as a BLOB: written out as text it would not come back as a BLOB.
struct BinaryText {
    qint64 id;
    bool definition;
};
enum class BinaryTexts { AsText, Refuse };
// Every row in ID order, nulls kept; a BLOB is read as the text its bytes spell, or refused as BinaryText.
QList<Record> readRecords(const QString &path, const QString &password = DefaultPassword,
                          BinaryTexts binary = BinaryTexts::AsText);
// Removes a file and the journal SQLite may have left beside it.
void removeWithJournal(const QString &path);
// Opens the file afresh and checks it whole: a glossary, sound pages, the expected number of rows.
void verify(const QString &path, qsizetype expectedRows, const QString &password = DefaultPassword);

} // namespace GlossaryFile
