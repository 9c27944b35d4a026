#include "db/glossary/Store.h"

#include "db/glossary/GlossaryFile.h"
#include "db/glossary/GlossaryPlace.h"

#include <QCoreApplication>

namespace {

QString &appPathOverride()
{
    static QString folder;
    return folder;
}

QString findQuery(const QString &searchText, const QString &column, const QString &columnAfterBlank)
{
    QString words = store::escape(searchText);
    words.replace(u' ', QStringLiteral("%' and ") + columnAfterBlank + QStringLiteral(" like '%"));
    return QStringLiteral("Select * from Tbl_Zorvane WHERE ") + column + QStringLiteral(" like '%") + words +
           QStringLiteral("%' ORDER by Parola");
}

} // namespace

namespace store {

QString AppPath()
{
    const QString &folder = appPathOverride();
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

void setAppPath(const QString &folder)
{
    appPathOverride() = folder;
}

QString ConnectionString()
{
    QString file = AppPath() + u'/' + GlossaryPlace::FileName;
    // A path that holds ";" or a quote is quoted, as connection strings do, so that it arrives whole.
    if (file.contains(u';') || file.contains(u'"') || file.contains(u'\'') || file.trimmed() != file)
        file = u'"' + file.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + file +
           QStringLiteral(";Jet OLEDB:Database Password=") + GlossaryFile::DefaultPassword + u';';
}

QString escape(const QString &value)
{
    QString escaped = value;
    return escaped.replace(u'\'', QStringLiteral("''"));
}

QString QueryAllTerms()
{
    return QStringLiteral("Select * from Tbl_Zorvane order by Parola");
}

QString QueryAllRows()
{
    return QStringLiteral("Select * from Tbl_Zorvane");
}

QString QueryRowById(qint64 id)
{
    return QStringLiteral("Select * from Tbl_Zorvane where ID =") + QString::number(id);
}

QString QueryDeleteById(qint64 id)
{
    return QStringLiteral("Delete * from Tbl_Zorvane WHERE ID  = ") + QString::number(id);
}

QString QueryFindTerm(const QString &searchText)
{
    return findQuery(searchText, QStringLiteral("Parola"), QStringLiteral("PAROLA"));
}

QString QueryFindDefinition(const QString &searchText)
{
    return findQuery(searchText, QStringLiteral("Definizione"), QStringLiteral("Definizione"));
}

QString QuerySimilar(const QString &definition, const QString &first20, const QString &last20, const QString &term)
{
    return QStringLiteral("Select * from Tbl_Zorvane WHERE Definizione like '%") + escape(definition) +
           QStringLiteral("%' or Left(Definizione, 20) like '%") + escape(first20) +
           QStringLiteral("%' or Right(Definizione, 20) like '%") + escape(last20) +
           QStringLiteral("%' OR Parola like '%") + escape(term) + QStringLiteral("%'");
}

} // namespace store
