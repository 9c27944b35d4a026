#include "tools/ExportError.h"

ExportError::ExportError(qint64 id, QString reason)
    : m_id(id), m_reason(std::move(reason)), m_what(QStringLiteral("ID %1: %2").arg(id).arg(m_reason).toStdString())
{
}
