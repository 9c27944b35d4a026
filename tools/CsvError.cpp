#include "CsvError.h"

CsvError::CsvError(int line, QString reason)
    : m_line(line), m_reason(std::move(reason)),
      m_what(QStringLiteral("riga %1: %2").arg(line).arg(m_reason).toStdString())
{
}
