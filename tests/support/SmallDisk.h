#pragma once

#include <QString>
#include <QTemporaryDir>

// A small file system of its own, so that its space can run out; mounting needs root, and a test skips
// when it cannot be had.
class SmallDisk {
public:
    explicit SmallDisk(const QString &size);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }
    const QString &why() const { return m_why; }
    QString path() const { return m_dir.path(); }
    // Takes up all of its space with one file, "riempitivo", in whole pages so that not even the tail of a
    // page is left to write into; then gives back `sparePages` of them. Answers the filler's path, or an
    // empty string when it could not be written.
    QString fill(qint64 sparePages = 0);
    // Mounts it again read-only, as a write-protected disk; false when that cannot be done.
    bool makeReadOnly() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};
