#pragma once

#include "db/glossary/GlossaryFile.h"

#include <QList>
#include <QString>

// The old Jet glossaries made for these tests (tests/data/jet), with the rows each one holds.
namespace JetFixtures {

QString path(const QString &name);
// The rows of NAME.expected.json, by ID, nulls kept.
QList<GlossaryFile::Record> expected(const QString &name);
// A writable copy of the fixture under the glossary's name in folder; its path.
QString placeAsGlossary(const QString &name, const QString &folder);

} // namespace JetFixtures
