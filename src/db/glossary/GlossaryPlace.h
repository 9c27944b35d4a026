#pragma once

#include <QString>

// Where the glossary and its export live. A program folder that holds a glossary, or that its user may write
// (a build, a portable copy), keeps it beside the program; an installed program keeps each user's own in their
// data folder, which its first start makes and fills with the sample the package ships.
namespace GlossaryPlace {

inline const QString FileName = QStringLiteral("QUORLAN.mdb");

// The sample the package installs in share/zorvane, found from the program's bin folder.
QString sampleFile(const QString &programFolder);
QString folder(const QString &programFolder, const QString &userFolder);
// The folder that folder() names, with the sample copied there once at an installed program's first start.
// A failed copy leaves no glossary there, which the window then reports as missing.
QString prepare(const QString &programFolder, const QString &userFolder);

} // namespace GlossaryPlace
