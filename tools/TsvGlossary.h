#pragma once

#include "db/glossary/GlossaryFile.h"

#include <QByteArray>

#include <functional>

// Glossary rows as the tab-separated lists that translation tools read: one entry a line, term TAB
// definition, lines starting with # are comments.
namespace TsvGlossary {

// Fields are trimmed and may be empty, a third column and anything after it are ignored, blank lines are
// skipped. The first bad line is thrown as an InputError with its number. progress(done, total) follows the lines.
QList<GlossaryFile::Row> parseTsv(const QString &text, const std::function<void(qsizetype, qsizetype)> &progress = {});

struct Written {
    QByteArray bytes;
    qsizetype changed = 0; // entries whose line breaks, tabs or outer blanks had to go
};
// UTF-8 under a comment line. A line break or tab inside a text becomes a blank and outer blanks go, since
// the format cannot hold them, and a missing text is written as an empty one; a row that would then read back
// as something else (a blank line, a comment) is an ExportError.
Written writeTsv(const QList<GlossaryFile::Record> &records,
                 const std::function<void(qsizetype, qsizetype)> &progress = {});

} // namespace TsvGlossary
