#include "JetImport.h"

#include "DbError.h"
#include "GlossaryFile.h"
#include "JetFile.h"

#include <QFileInfo>

namespace JetImport {

qsizetype importFile(const QString &glossary, const QString &jetFile, const QString &password, bool createIfMissing,
                     const JetCarryOver::Progress &progress)
{
    const bool creating = createIfMissing && !QFileInfo::exists(glossary);
    if (!creating && !QFileInfo::exists(glossary))
        throw DbError(DbError::FileNotFound, QStringLiteral("Impossibile trovare il file '%1'.").arg(glossary));
    JetFile old(jetFile, password);
    const QList<GlossaryFile::Record> records = old.readAll([&](qsizetype done, qsizetype total) {
        if (progress)
            progress(JetCarryOver::Phase::Reading, done, total);
    });
    const auto writing = [&](qsizetype done, qsizetype total) {
        if (progress)
            progress(JetCarryOver::Phase::Writing, done, total);
    };
    if (creating) {
        GlossaryFile::createFrom(glossary, records, old.lastAutoNumber(), password, writing);
        GlossaryFile::verify(glossary, records.size(), password);
    } else {
        GlossaryFile::appendRecords(glossary, records, password, writing);
    }
    return records.size();
}

} // namespace JetImport
