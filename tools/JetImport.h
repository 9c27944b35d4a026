#pragma once

#include "JetCarryOver.h"

#include <QString>

// The rows of an old Jet glossary into a glossary file, all or none.
namespace JetImport {

// With createIfMissing and no glossary yet, the new file is an exact copy: IDs, nulls and the next ID
// the old file would have given. Into an existing glossary the rows are added after its own, with new
// IDs. Returns how many rows were added.
qsizetype importFile(const QString &glossary, const QString &jetFile, const QString &password, bool createIfMissing,
                     const JetCarryOver::Progress &progress = {});

} // namespace JetImport
