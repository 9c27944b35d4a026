#pragma once

#include <QString>

struct sqlite3;

// Another program inside a transaction on the glossary, with its own keyed connection: an exclusive
// one keeps everyone out, a reading one lets others read and begin a write but not commit it.
class OtherProgramLock {
public:
    OtherProgramLock(const QString &file, const char *sql);
    ~OtherProgramLock();
    OtherProgramLock(const OtherProgramLock &) = delete;
    OtherProgramLock &operator=(const OtherProgramLock &) = delete;

    bool held() const { return m_held; }
    void lift();

private:
    sqlite3 *m_db = nullptr;
    bool m_held = false;
};
