#include "db/glossary/GlossaryPlace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A link counts, even a dangling one: the glossary is there, and the window says what is wrong with it.
bool holdsGlossary(const QString &folder)
{
    const QFileInfo file(folder + u'/' + GlossaryPlace::FileName);
    return file.exists() || file.isSymLink();
}

} // namespace

namespace GlossaryPlace {

QString sampleFile(const QString &programFolder)
{
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/zorvane/") + FileName);
}

QString folder(const QString &programFolder, const QString &userFolder)
{
    if (holdsGlossary(programFolder))
        return programFolder;
    // Root may write /usr/bin, so the shipped sample beside the program marks an installed one as well.
    const bool installed = !QFileInfo(programFolder).isWritable() || QFileInfo::exists(sampleFile(programFolder));
    return installed ? userFolder : programFolder;
}

QString prepare(const QString &programFolder, const QString &userFolder)
{
    const QString chosen = folder(programFolder, userFolder);
    if (chosen != programFolder && !holdsGlossary(chosen) && QDir().mkpath(chosen))
        QFile::copy(sampleFile(programFolder), chosen + u'/' + FileName);
    return chosen;
}

} // namespace GlossaryPlace
