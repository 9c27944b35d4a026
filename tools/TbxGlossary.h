#pragma once

#include "db/glossary/GlossaryFile.h"

#include <QByteArray>

#include <functional>

// Glossary rows as TBX (ISO 30042), the exchange format of terminology tools.
namespace TbxGlossary {

struct Parsed {
    QList<GlossaryFile::Record> rows; // without IDs
    QString language;                 // the xml:lang whose terms were taken
    qsizetype withoutLanguage = 0;    // entries with no section in that language
    qsizetype leftOut = 0;            // entries with one, but no term in it
};

// TBX of the current version (tbx, conceptEntry, langSec, termSec) or of version 2 (martif, termEntry,
// langSet, tig or ntig). Each term of the Italian language, or of the only language there is, becomes a
// row with the definition nearest to it (the term's, its language's, its entry's), missing when there is none;
// a term section without its term is a missing term. A text is taken as it stands, except where it is laid
// out in elements: there the blanks that indent them are left out and each paragraph (<p>) starts a line.
// Malformed XML, another kind of XML, a document type with declarations of its own, an undefined entity,
// absurd nesting and several languages none of which is Italian are thrown as an InputError.
// progress(done, total) follows the lines of the file.
Parsed parseTbx(const QByteArray &bytes, const std::function<void(qsizetype, qsizetype)> &progress = {});

// TBX-Basic of the current version in UTF-8: one conceptEntry per row, its id made of the row's ID, with
// an Italian langSec holding the definition and the term; a missing text has no element, its termSec stays
// empty. A text with a character that XML 1.0 cannot carry is an ExportError.
QByteArray writeTbx(const QList<GlossaryFile::Record> &records,
                    const std::function<void(qsizetype, qsizetype)> &progress = {});

} // namespace TbxGlossary
