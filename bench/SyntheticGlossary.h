#pragma once

#include "db/glossary/GlossaryFile.h"

#include <QList>
#include <QString>

// Deterministic glossaries of any size, shaped like a real dictionary: terms of one to four words with
// accented letters and apostrophes, definitions from one line to a few thousand characters, of a few
// thousand common words and now and then a rare one.
namespace SyntheticGlossary {

// One definition in four ends with one of this many rare words: each is found in a handful of definitions.
constexpr int RareWords = 20000;
QString rareWord(int index);

QList<GlossaryFile::Row> rows(int count, quint32 seed = 20261208);
// One definition of about `chars` characters of dictionary prose: short lines, or one paragraph.
QString longDefinition(qsizetype chars, quint32 seed, bool lines);

} // namespace SyntheticGlossary
