#pragma once

#include <QString>

#include <functional>

// Carries a glossary kept in the Jet 4.0 format over into a protected file of ours under the same name,
// once and whole. The old file is only read; it stays beside the new one under another name. Under the
// glossary's name there is at every moment either the untouched old file or the complete new one, so
// a kill at any point leaves the work to be finished or redone by the next start.
namespace JetCarryOver {

enum class Phase { Reading, Writing };
using Progress = std::function<void(Phase phase, qsizetype done, qsizetype total)>;

struct Result {
    qsizetype rows = 0;
    QString keptAs; // where the old file now is
    QString linkedTo; // the file the glossary's name is a link to, which now holds the new glossary
};

// Whether the glossary file is still an old Jet file.
bool needed(const QString &glossary);

// Failures are thrown as DbError with the old file left as it was: 3031 wrong password, 3343 not a
// glossary, 3049 damaged, 3051 folder not writable, 3026 disk full. The old file is kept beside the new
// one as "NAME-originale.EXT", or the first free "NAME-originale-N.EXT"; where the glossary's name is a
// link, both lie where the link leads.
Result run(const QString &glossary, const QString &password, const Progress &progress = {});

} // namespace JetCarryOver
