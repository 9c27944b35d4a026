#pragma once

#include "GlossaryFile.h"

#include <QByteArray>

// Glossary rows as CSV the way spreadsheets write it: RFC 4180, UTF-8, the header "Parola,Definizione".
namespace CsvGlossary {

// Checks every record before returning any; the first bad one is thrown as a CsvError with its line.
QList<GlossaryFile::Row> parseCsv(const QByteArray &bytes);
// CRLF record ends and quotes only where a field needs them, so that parsing gives the same rows back.
QByteArray writeCsv(const QList<GlossaryFile::Row> &rows);

// Adds the rows of the CSV file to the glossary in one transaction, or nothing at all; with
// createIfMissing an absent glossary is made first (and removed again if the import fails).
// Returns how many rows were added.
qsizetype importFile(const QString &glossary, const QString &csv, const QString &password, bool createIfMissing);
// Replaces the CSV file with every row of the glossary, or leaves it as it was. Returns how many rows.
qsizetype exportFile(const QString &glossary, const QString &csv, const QString &password);

} // namespace CsvGlossary
