#pragma once

#include <QFileDevice>
#include <QString>

// Makes a file or a folder read-only for as long as it lives. Root writes through any permission bits,
// so for root the path is marked immutable, which stops every writer; anyone else is stopped by the
// permissions alone.
class ReadOnlyPath {
public:
    explicit ReadOnlyPath(const QString &path);
    ~ReadOnlyPath();
    ReadOnlyPath(const ReadOnlyPath &) = delete;
    ReadOnlyPath &operator=(const ReadOnlyPath &) = delete;

    // False once the protection holds; a test skips when neither way stops writes here.
    bool writable() const;
    void lift();

private:
    bool setImmutable(bool on) const;

    QString m_path;
    QFileDevice::Permissions m_permissions;
    bool m_immutable = false;
};
