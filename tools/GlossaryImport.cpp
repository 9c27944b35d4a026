#include "tools/GlossaryImport.h"

#include "db/error/DbError.h"
#include "db/mdb/JetFile.h"
#include "tools/CsvGlossary.h"
#include "tools/InputError.h"
#include "tools/NewGlossary.h"
#include "tools/TbxGlossary.h"
#include "tools/TextFile.h"
#include "tools/TsvGlossary.h"

#include <QFileInfo>

#include <algorithm>
#include <set>
#include <utility>

namespace {

using GlossaryFile::Record;

const QString Reading = QStringLiteral("Lettura");
const QString Writing = QStringLiteral("Scrittura");

// XML starts, after blanks and a byte order mark, with '<': with its declaration, a comment, a document type
// or a TBX root element it is XML, with anything else it is unless its first line holds a tab, as that of a
// tab-separated file whose first term starts with '<' does. UTF-16 puts a NUL beside each ASCII character, so
// those are dropped first.
bool isXml(const QByteArray &bytes)
{
    static const QByteArray skipped = QByteArrayLiteral(" \t\r\n\xEF\xBB\xBF\xFF\xFE");
    QByteArray head = bytes.left(4096);
    head.replace('\0', QByteArray());
    const auto start = std::find_if(head.cbegin(), head.cend(), [](char c) { return !skipped.contains(c); });
    if (start == head.cend() || *start != '<')
        return false;
    const QByteArrayView text(start, head.cend());
    const auto opensWith = [&](QByteArrayView markup, bool name) {
        return text.startsWith(markup)
            && (!name || (text.size() > markup.size() && QByteArrayView(" \t\r\n/>").contains(text[markup.size()])));
    };
    if (opensWith("<?xml", false) || opensWith("<!--", false) || opensWith("<!DOCTYPE", false)
        || opensWith("<tbx", true) || opensWith("<martif", true))
        return true;
    const qsizetype end = text.indexOf('\n');
    return !text.first(end < 0 ? text.size() : end).contains('\t');
}

// A first line that is a comment, or that holds a tab and is not the CSV header.
bool isTabSeparated(const QString &text)
{
    const qsizetype end = text.indexOf(u'\n');
    const QStringView first = QStringView(text).first(end < 0 ? text.size() : end);
    return first.trimmed().startsWith(u'#') || (first.contains(u'\t') && !CsvGlossary::hasHeader(text));
}

// A file that gives no row is refused rather than read as nothing: it makes no new glossary.
InputError nothingToImport(const GlossaryImport::Parsed &parsed)
{
    using GlossaryImport::Format;
    const QString why = QStringLiteral("nessuna riga da importare");
    if (parsed.format != Format::Tbx)
        return InputError(0, why, parsed.format == Format::Tsv ? QStringLiteral("TSV") : QStringLiteral("CSV"));
    return InputError(0,
        parsed.language.isEmpty() ? why
                                  : QStringLiteral("%1: nessuna voce ha una parola nella lingua letta (%2)")
                                        .arg(why, parsed.language),
        QStringLiteral("TBX"));
}

// A tab-separated file has no way to leave a text out: every text is there, if empty.
QList<Record> toRecords(const QList<GlossaryFile::Row> &rows)
{
    QList<Record> records;
    records.reserve(rows.size());
    for (const GlossaryFile::Row &row : rows)
        records.append({0, row.term, row.definition});
    return records;
}

// Appends in one transaction, after leaving out, unless every row is wanted, those equal to a row
// already held.
GlossaryImport::Result addTo(const QString &glossary, const QList<Record> &records, const QString &password,
                             bool everyRow, ProgressLine &progress)
{
    GlossaryImport::Result result;
    QList<Record> fresh = records;
    if (!everyRow) {
        // A glossary that refuses missing texts holds empty ones in their place.
        const auto shown = [](const Record &record) {
            return std::pair{record.term.value_or(QString()), record.definition.value_or(QString())};
        };
        std::set<std::pair<QString, QString>> held;
        for (const Record &record : GlossaryFile::readRecords(glossary, password))
            held.insert(shown(record));
        fresh.clear();
        for (const Record &record : records) {
            if (!held.contains(shown(record)))
                fresh.append(record);
        }
        result.alreadyThere = records.size() - fresh.size();
    }
    result.filledIn = GlossaryFile::appendRecords(glossary, fresh, password, progress.step(Writing));
    result.added = fresh.size();
    return result;
}

} // namespace

namespace GlossaryImport {

Parsed parse(const QByteArray &bytes, const ProgressLine::Step &progress)
{
    Parsed parsed;
    if (isXml(bytes)) {
        TbxGlossary::Parsed tbx = TbxGlossary::parseTbx(bytes, progress);
        parsed.format = Format::Tbx;
        parsed.rows = std::move(tbx.rows);
        parsed.language = tbx.language;
        parsed.withoutLanguage = tbx.withoutLanguage;
        parsed.leftOut = tbx.leftOut;
        return parsed;
    }
    const TextFile::Decoded decoded = TextFile::decode(bytes);
    parsed.windows1252 = decoded.windows1252;
    parsed.format = isTabSeparated(decoded.text) ? Format::Tsv : Format::Csv;
    parsed.rows = parsed.format == Format::Tsv ? toRecords(TsvGlossary::parseTsv(decoded.text, progress))
                                               : CsvGlossary::parseCsv(decoded.text, progress);
    return parsed;
}

Result importFile(const QString &glossary, const QString &input, const QString &password, Options options,
                  ProgressLine &progress)
{
    const bool creating = options.create && !QFileInfo::exists(glossary);
    if (!creating && !QFileInfo::exists(glossary))
        throw DbError(DbError::FileNotFound, QStringLiteral("Impossibile trovare il file '%1'.").arg(glossary));

    if (JetFile::isJetFile(input)) {
        JetFile old(input, password);
        const QList<Record> records = old.readAll(progress.step(Reading));
        if (!creating) {
            Result result = addTo(glossary, records, password, options.everyRow, progress);
            result.parsed.format = Format::Jet;
            return result;
        }
        NewGlossary::make(glossary, [&](const QString &made) {
            GlossaryFile::createFrom(made, records, old.lastAutoNumber(), password, progress.step(Writing));
            GlossaryFile::verify(made, records.size(), password);
        });
        Result result;
        result.parsed.format = Format::Jet;
        result.added = records.size();
        return result;
    }

    Parsed parsed = parse(TextFile::read(input), progress.step(Reading));
    if (parsed.rows.isEmpty())
        throw nothingToImport(parsed);
    const QList<Record> records = std::exchange(parsed.rows, {});
    Result result;
    if (creating) {
        NewGlossary::make(glossary, [&](const QString &made) {
            GlossaryFile::create(made, password);
            GlossaryFile::appendRecords(made, records, password, progress.step(Writing));
        });
        result.added = records.size();
    } else {
        result = addTo(glossary, records, password, options.everyRow, progress);
    }
    result.parsed = parsed;
    return result;
}

} // namespace GlossaryImport
