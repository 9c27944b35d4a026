#include "tools/InputError.h"

InputError::InputError(int line, QString reason, QString kind)
    : m_line(line), m_reason(std::move(reason)), m_kind(std::move(kind)),
      m_what(QStringLiteral("riga %1: %2").arg(line).arg(m_reason).toStdString())
{
}
