#pragma once

#include "db/glossary/GlossaryFile.h"
#include "tools/ProgressLine.h"

#include <QByteArray>
#include <QString>

// Every row of a glossary file into a file of another format, or nothing at all.
namespace GlossaryExport {

enum class Format { Csv, Spreadsheet, Tsv, Tbx };

struct Output {
    QByteArray bytes;
    qsizetype changed = 0;    // TSV: rows whose line breaks, tabs or outer blanks had to go
    qsizetype incomplete = 0; // rows with an empty or a missing text
};

// The file for these rows, such that importing it gives every row back (TSV: as changed, a missing text
// empty). A row the format cannot carry so is an ExportError naming the row.
Output render(const QList<GlossaryFile::Record> &records, Format format, const ProgressLine::Step &progress = {});

struct Result {
    qsizetype rows = 0;
    qsizetype changed = 0;
    qsizetype incomplete = 0;
};

// Replaces the file with every row of the glossary in ID order, or leaves it as it was. A value stored as a
// BLOB is an ExportError naming its row, as render's refusals are.
Result exportFile(const QString &glossary, const QString &output, const QString &password, Format format,
                  ProgressLine &progress);

} // namespace GlossaryExport
