#pragma once

#include "TableCache.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class Connection;
class Recordset;
struct sqlite3_stmt;

// One column of the current row, reached by name without regard to case.
class Field {
public:
    QVariant Value() const;
    void setValue(const QVariant &value);

private:
    friend class Recordset;
    Field(Recordset *rs, QString name) : m_rs(rs), m_name(std::move(name)) {}
    Recordset *m_rs;
    QString m_name;
};

// An ADO-style recordset over the glossary file: each one brings up its own keyed connection on Open
// and ends it on Close or destruction, so nothing survives from one operation to the next.
class Recordset {
public:
    enum CursorType { adOpenKeyset = 1 };
    enum LockType { adLockOptimistic = 3 };
    enum Options { adCmdText = 1 };

    Recordset();
    ~Recordset();
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    void Open(const QString &source, const QString &connectionString, int cursorType = adOpenKeyset,
              int lockType = adLockOptimistic, int options = adCmdText);
    // ADO's EOF; the name itself is a macro of the C library.
    bool Eof() const;
    void MoveFirst();
    void MoveNext();
    Field Fields(const QString &name) { return Field(this, name); }
    void AddNew();
    void UpdateBatch();
    void Close();

    bool isOpen() const;
    // Rows the last Delete removed.
    qint64 RecordsAffected() const { return m_affected; }

private:
    friend class Field;
    enum class Mode { Browse, Adding, Editing };

    void run(const struct JetQuery &query, const std::shared_ptr<Connection> &connection);
    QVariant read(const QString &name);
    QVariantList currentValues();
    void afterCommit(qint64 previousId);
    void stage(const QString &name, const QVariant &value);
    int columnIndex(const QString &name) const;
    [[noreturn]] void fail(int rc);
    [[noreturn]] void failAfterRollback(int rc);
    void step();
    void finishStatement();
    void rollback();

    std::shared_ptr<Connection> m_connection;
    sqlite3_stmt *m_stmt = nullptr;
    QStringList m_columns;
    bool m_eof = true;
    qint64 m_position = -1;
    qint64 m_affected = 0;
    Mode m_mode = Mode::Browse;
    bool m_inTransaction = false;
    qint64 m_currentId = 0;
    QHash<int, QVariant> m_staged;
    // Rows answered from the connection's in-memory table: the ID and term of each; any other column
    // is read from the file by ID when asked for.
    bool m_fromCache = false;
    QList<TableCache::Hit> m_hits;
    QVariantList m_fullRow;
    int m_idColumn = -1;
    int m_termColumn = -1;
};
