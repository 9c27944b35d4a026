#include "GlossaryExport.h"

#include "CsvGlossary.h"
#include "DbError.h"
#include "ExportError.h"
#include "TbxGlossary.h"
#include "TextFile.h"
#include "TsvGlossary.h"

#include <QFile>

#include <sys/stat.h>

namespace {

using GlossaryFile::Record;

// What no format carries back: every reader refuses an empty text or a NUL. (Half a surrogate pair never
// comes out of SQLite, which hands it over as U+FFFD.)
void checkText(qint64 id, const std::optional<QString> &text, const char *what)
{
    if (!text || text->isEmpty())
        throw ExportError(id, QStringLiteral("la %1 è vuota").arg(what));
    if (text->contains(QChar(0)))
        throw ExportError(id, QStringLiteral("la %1 contiene un carattere nullo").arg(what));
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
    QList<GlossaryFile::Row> rows;
    rows.reserve(records.size());
    for (const Record &record : records) {
        checkText(record.id, record.term, "parola");
        checkText(record.id, record.definition, "definizione");
        rows.append({*record.term, *record.definition});
    }
    switch (format) {
    case Format::Csv:
        return {CsvGlossary::writeCsv(rows, CsvGlossary::Plain, progress)};
    case Format::Spreadsheet:
        return {CsvGlossary::writeCsv(rows, CsvGlossary::Spreadsheet, progress)};
    case Format::Tsv: {
        TsvGlossary::Written written = TsvGlossary::writeTsv(records, progress);
        return {std::move(written.bytes), written.changed};
    }
    case Format::Tbx:
        return {TbxGlossary::writeTbx(records, progress)};
    }
    Q_UNREACHABLE();
}

Result exportFile(const QString &glossary, const QString &output, const QString &password, Format format,
                  ProgressLine &progress)
{
    if (isTheGlossary(output, glossary))
        throw DbError(DbError::Unknown,
                      QStringLiteral("Il file '%1' è il glossario stesso: l'esportazione lo cancellerebbe.").arg(output));
    const QList<Record> records = GlossaryFile::readRecords(glossary, password);
    const Output rendered = render(records, format, progress.step(QStringLiteral("Scrittura")));
    TextFile::write(output, rendered.bytes);
    return {records.size(), rendered.changed};
}

} // namespace GlossaryExport
