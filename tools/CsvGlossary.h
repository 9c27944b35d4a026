#pragma once

#include "db/glossary/GlossaryFile.h"

#include <QByteArray>

#include <functional>

// Glossary rows as CSV the way spreadsheets write it: RFC 4180 records under the header
// "Parola,Definizione", with a comma, a semicolon or a tab between the fields. An empty field without quotes
// is a missing text, "" an empty one.
namespace CsvGlossary {

struct Dialect {
    char separator;
    bool byteOrderMark;
    // Every field quoted, so that no row splits whichever separators the spreadsheet's import takes and
    // "quoted fields as text" keeps every text a text; a text a spreadsheet would run as a formula is led by
    // an apostrophe.
    bool forSpreadsheet;
};
// What the tool has always written: UTF-8, commas.
inline constexpr Dialect Plain{',', false, false};
// What a spreadsheet set up for Italian opens directly: UTF-8 with its mark, semicolons.
inline constexpr Dialect Spreadsheet{';', true, true};

// The separator is the one the header line uses; blanks around the header's names do not count, blank lines
// at the end are dropped, and a field that starts with apostrophes and then a formula's first character loses
// one apostrophe, the one a spreadsheet's guard added. Checks every record before returning any; the first
// bad one is thrown as an InputError with its line. progress(done, total) follows the lines of the text.
QList<GlossaryFile::Record> parseCsv(const QString &text,
                                     const std::function<void(qsizetype, qsizetype)> &progress = {});
// Whether the first line is the header, with any of the three separators.
bool hasHeader(const QString &text);
// CRLF record ends, quotes where a field holds a separator, a quote or a line break (everywhere for a
// spreadsheet), so that parsing gives the same rows back. A row with both texts missing would read as a blank
// line: it is an ExportError.
QByteArray writeCsv(const QList<GlossaryFile::Record> &records, Dialect dialect = Plain,
                    const std::function<void(qsizetype, qsizetype)> &progress = {});

} // namespace CsvGlossary
