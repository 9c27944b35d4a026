#pragma once

#include "GlossaryFile.h"

#include <QByteArray>

#include <functional>

// Glossary rows as CSV the way spreadsheets write it: RFC 4180, UTF-8, the header "Parola,Definizione".
namespace CsvGlossary {

// Checks every record before returning any; the first bad one is thrown as an InputError with its line.
// progress(done, total) follows the lines of the file.
QList<GlossaryFile::Row> parseCsv(const QByteArray &bytes,
                                  const std::function<void(qsizetype, qsizetype)> &progress = {});
// CRLF record ends and quotes only where a field needs them, so that parsing gives the same rows back.
QByteArray writeCsv(const QList<GlossaryFile::Row> &rows,
                    const std::function<void(qsizetype, qsizetype)> &progress = {});

} // namespace CsvGlossary
