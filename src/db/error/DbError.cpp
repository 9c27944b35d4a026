#include "db/error/DbError.h"

DbError::DbError(int number, QString description)
    : m_number(number), m_description(std::move(description)),
      m_what(QString::number(number).append(' ').append(m_description).toStdString())
{
}

DbError DbError::noCurrentRecord(const QString &why)
{
    return DbError(NoCurrentRecord, why.isEmpty() ? QStringLiteral("Nessun record corrente.")
                                                  : QStringLiteral("Nessun record corrente: %1.").arg(why));
}

DbError DbError::changedMeanwhile()
{
    return DbError(ChangedMeanwhile, QStringLiteral("Il termine è stato modificato da un altro programma dopo essere "
                                                    "stato letto: non è stato scritto nulla."));
}
