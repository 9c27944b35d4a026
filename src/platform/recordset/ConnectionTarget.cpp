#include "ConnectionTarget.h"

#include "DbError.h"

#include <QStringList>

ConnectionTarget ConnectionTarget::parse(const QString &connectionString)
{
    ConnectionTarget target;
    bool haveSource = false;
    for (const QString &pair : connectionString.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = pair.left(eq).trimmed();
        const QString value = pair.mid(eq + 1);
        if (key.compare(u"Data Source", Qt::CaseInsensitive) == 0) {
            target.dataSource = value.trimmed();
            haveSource = true;
        } else if (key.compare(u"Jet OLEDB:Database Password", Qt::CaseInsensitive) == 0) {
            target.password = value;
        }
    }
    if (!haveSource || target.dataSource.isEmpty())
        throw DbError(DbError::FileNotFound, QStringLiteral("La stringa di connessione non indica alcun file."));
    return target;
}
