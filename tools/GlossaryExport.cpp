#include "tools/GlossaryExport.h"

#include "db/error/DbError.h"
#include "tools/CsvGlossary.h"
#include "tools/ExportError.h"
#include "tools/TbxGlossary.h"
#include "tools/TextFile.h"
#include "tools/TsvGlossary.h"

#include <QFile>

#include <algorithm>
#include <utility>

#include <sys/stat.h>

namespace {

using GlossaryFile::Record;

// What no format carries back: every reader refuses a NUL. (Half a surrogate pair never comes out of SQLite,
// which hands it over as U+FFFD.)
void checkText(qint64 id, const std::optional<QString> &text, const char *what)
{
    if (text && text->contains(QChar(0)))
        throw ExportError(id, QStringLiteral("la %1 contiene un carattere nullo").arg(what));
}

bool isIncomplete(const Record &record)
{
    return !record.term || record.term->isEmpty() || !record.definition || record.definition->isEmpty();
}

// Every row in ID order; a BLOB would be written as whatever text its bytes happen to spell, and would not
// come back as a BLOB.
QList<Record> readTexts(const QString &glossary, const QString &password)
{
    try {
        return GlossaryFile::readRecords(glossary, password, GlossaryFile::BinaryTexts::Refuse);
    } catch (const GlossaryFile::BinaryText &blob) {
        throw ExportError(blob.id, QStringLiteral("la %1 è un dato binario (BLOB), non un testo")
                                       .arg(blob.definition ? QStringLiteral("definizione") : QStringLiteral("parola")));
    }
}

// The name is the glossary's own entry, or the glossary file under another name: what takes the name
// would take the glossary's place. A link to the glossary is not: the export replaces the link.
bool isTheGlossary(const QString &output, const QString &glossary)
{
    struct stat name;
    struct stat file;
    struct stat entry;
    if (::lstat(QFile::encodeName(output).constData(), &name) != 0)
        return false;
    const auto same = [&](const struct stat &other) {
        return name.st_dev == other.st_dev && name.st_ino == other.st_ino;
    };
    return (::stat(QFile::encodeName(glossary).constData(), &file) == 0 && same(file))
           || (::lstat(QFile::encodeName(glossary).constData(), &entry) == 0 && same(entry));
}

} // namespace

namespace GlossaryExport {

Output render(const QList<Record> &records, Format format, const ProgressLine::Step &progress)
{
    for (const Record &record : records) {
        checkText(record.id, record.term, "parola");
        checkText(record.id, record.definition, "definizione");
    }
    const qsizetype incomplete = std::count_if(records.cbegin(), records.cend(), isIncomplete);
    switch (format) {
    case Format::Csv:
        return {CsvGlossary::writeCsv(records, CsvGlossary::Plain, progress), 0, incomplete};
    case Format::Spreadsheet:
        return {CsvGlossary::writeCsv(records, CsvGlossary::Spreadsheet, progress), 0, incomplete};
    case Format::Tsv: {
        TsvGlossary::Written written = TsvGlossary::writeTsv(records, progress);
        return {std::move(written.bytes), written.changed, incomplete};
    }
    case Format::Tbx:
        return {TbxGlossary::writeTbx(records, progress), 0, incomplete};
    }
    Q_UNREACHABLE();
}

Result exportFile(const QString &glossary, const QString &output, const QString &password, Format format,
                  ProgressLine &progress)
{
    if (isTheGlossary(output, glossary))
        throw DbError(DbError::Unknown,
                      QStringLiteral("Il file '%1' è il glossario stesso: l'esportazione lo cancellerebbe.").arg(output));
    const QList<Record> records = readTexts(glossary, password);
    const Output rendered = render(records, format, progress.step(QStringLiteral("Scrittura")));
    TextFile::write(output, rendered.bytes);
    return {records.size(), rendered.changed, rendered.incomplete};
}

} // namespace GlossaryExport
