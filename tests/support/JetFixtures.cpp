#include "support/JetFixtures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::optional<QString> text(const QJsonValue &value)
{
    return value.isNull() ? std::nullopt : std::optional<QString>(value.toString());
}

} // namespace

namespace JetFixtures {

QString path(const QString &name)
{
    return QStringLiteral(ZORVANE_JET_FIXTURES "/") + name;
}

QList<GlossaryFile::Record> expected(const QString &name)
{
    QFile file(path(QString(name).replace(QStringLiteral(".mdb"), QStringLiteral(".expected.json"))));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fixture missing: %s", qPrintable(file.fileName()));
    QList<GlossaryFile::Record> rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(file.readAll()).array()) {
        const QJsonObject o = row.toObject();
        rows.append({o.value(u"ID").toInteger(), text(o.value(u"Parola")), text(o.value(u"Definizione"))});
    }
    return rows;
}

QString placeAsGlossary(const QString &name, const QString &folder)
{
    const QString glossary = folder + QStringLiteral("/QUORLAN.mdb");
    QFile::remove(glossary);
    if (!QFile::copy(path(name), glossary))
        qFatal("cannot copy fixture %s", qPrintable(name));
    QFile::setPermissions(glossary, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return glossary;
}

} // namespace JetFixtures
