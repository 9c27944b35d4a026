#include "db/glossary/ConnectionTarget.h"

#include "db/error/DbError.h"

ConnectionTarget ConnectionTarget::parse(const QString &connectionString)
{
    ConnectionTarget target;
    bool haveSource = false;
    const QString &s = connectionString;
    for (qsizetype i = 0; i < s.size();) {
        const qsizetype eq = s.indexOf(u'=', i);
        const qsizetype semicolon = s.indexOf(u';', i);
        if (eq < 0 || (semicolon >= 0 && semicolon < eq)) {
            i = semicolon < 0 ? s.size() : semicolon + 1;
            continue;
        }
        const QString key = s.mid(i, eq - i).trimmed();
        // A value in quotes may hold ";" (a folder may be named so); a doubled quote stands for itself.
        QString value;
        qsizetype j = eq + 1;
        while (j < s.size() && s[j] == u' ')
            ++j;
        if (j < s.size() && (s[j] == u'"' || s[j] == u'\'')) {
            const QChar quote = s[j++];
            for (; j < s.size(); ++j) {
                if (s[j] == quote && j + 1 < s.size() && s[j + 1] == quote)
                    value += s[j++];
                else if (s[j] == quote)
                    break;
                else
                    value += s[j];
            }
            const qsizetype end = s.indexOf(u';', j);
            i = end < 0 ? s.size() : end + 1;
        } else {
            const qsizetype end = s.indexOf(u';', eq + 1);
            value = s.mid(eq + 1, (end < 0 ? s.size() : end) - eq - 1);
            i = end < 0 ? s.size() : end + 1;
        }
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
