#include "support/OtherProgramLock.h"

#include "support/TempGlossary.h"

#include <QFile>

#include <sqlcipher/sqlite3.h>

OtherProgramLock::OtherProgramLock(const QString &file, const char *sql)
{
    sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(m_db, GlossaryKey.constData(), int(GlossaryKey.size()));
    m_held = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

OtherProgramLock::~OtherProgramLock()
{
    lift();
}

void OtherProgramLock::lift()
{
    if (m_db) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}
