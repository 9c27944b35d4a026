#pragma once

#include "GlossaryFile.h"
#include "ProgressLine.h"

#include <QByteArray>
#include <QString>

// Every row of a glossary file into a file of another format, or nothing at all.
namespace GlossaryExport {

enum class Format { Csv, Spreadsheet };

// The file for these rows, such that importing it gives every row back. A row the format cannot carry so,
// an empty or missing text included, is an ExportError naming the row.
QByteArray render(const QList<GlossaryFile::Record> &records, Format format, const ProgressLine::Step &progress = {});

// Replaces the file with every row of the glossary in ID order, or leaves it as it was. Returns how many rows.
qsizetype exportFile(const QString &glossary, const QString &output, const QString &password, Format format,
                     ProgressLine &progress);

} // namespace GlossaryExport
