#pragma once

#include "db/glossary/GlossaryFile.h"
#include "tools/ProgressLine.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The rows of a file of another format into a glossary file, all or none. The format is told by the
// file's content, never by its name.
namespace GlossaryImport {

enum class Format { Csv, Tsv, Tbx, Jet };

struct Parsed {
    Format format = Format::Csv;
    QList<GlossaryFile::Record> rows; // without IDs
    bool windows1252 = false; // the text was not UTF-8 and was read as Windows-1252
    QString language;         // TBX: the language whose terms were taken
    qsizetype withoutLanguage = 0; // TBX: entries with no section in that language
    qsizetype leftOut = 0;         // TBX: entries with one, but no term in it
};

// XML is TBX (a '<' that opens a first line holding a tab starts a tab-separated term instead, unless it opens
// an XML declaration, a comment, a document type or <tbx or <martif); text whose first line is a comment, or
// holds a tab but is not the header, is tab-separated; anything else is CSV. Bad input is thrown as an
// InputError.
Parsed parse(const QByteArray &bytes, const ProgressLine::Step &progress = {});

struct Options {
    bool create = false;   // make the glossary when it does not exist
    bool everyRow = false; // also add rows equal to one the glossary already holds
};

struct Result {
    Parsed parsed;                         // without its rows
    qsizetype added = 0;
    std::optional<qsizetype> alreadyThere; // rows skipped as equal to one already held, when compared
    QList<qint64> filledIn;                // rows given an empty text for a missing one the glossary refuses
};

// A glossary made by create from an old Jet file is an exact copy of it, IDs and nulls kept; otherwise the
// rows get new IDs after the glossary's own. Unless options.everyRow, a row whose term and definition equal
// those of a row the glossary held before is skipped, a missing text being equal to an empty one as the
// window shows them; the file's own rows are all kept, so that a file read into an empty glossary comes
// back whole. A glossary made here takes its name only once it is whole. A CSV, TSV or TBX file that gives
// no row at all is an InputError, so that it makes no glossary.
Result importFile(const QString &glossary, const QString &input, const QString &password, Options options,
                  ProgressLine &progress);

} // namespace GlossaryImport
