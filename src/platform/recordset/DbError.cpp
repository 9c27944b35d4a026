#include "DbError.h"

DbError::DbError(int number, QString description)
    : m_number(number), m_description(std::move(description)),
      m_what(QString::number(number).append(' ').append(m_description).toStdString())
{
}
