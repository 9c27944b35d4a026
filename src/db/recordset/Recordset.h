#pragma once

#include "db/search/TermListing.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class Cursor;
class Recordset;
class Transaction;
struct CatalogQuery;
struct KeptConnection;

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

// An ADO-style recordset over the glossary file. Open takes a keyed connection from the pool (which
// keeps it, with its in-memory copy of the table, for the next operation) and Close or destruction
// gives it back; no row, statement or lock outlives the operation.
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
    // The ID and term of the current row and of every one after it, read at once, leaving the recordset
    // at its end: filling a list of a million terms through Fields would cost more than the search.
    TermListing termListing(const QString &idField, const QString &termField);
    // Rows the last Delete removed.
    qint64 RecordsAffected() const { return m_affected; }

private:
    friend class Field;
    enum class Mode { Browse, Adding, Editing };

    void run(const CatalogQuery &query, const std::shared_ptr<KeptConnection> &kept);
    QVariant read(const QString &name);
    void stage(const QString &name, const QVariant &value);
    // Writes the staged change inside the operation's transaction; false when a modify found its row
    // no longer as it was read.
    bool writeChange();
    // A modify that wrote nothing: 3197 when another program changed the row, 3021 when it deleted it.
    [[noreturn]] void throwWhyNotWritten();
    // The index follows what was committed.
    void afterCommit(qint64 previousId);
    int columnIndex(const QString &name) const;
    // Runs a step that reaches the file: a failure rolls back what this recordset began and lets go of
    // the connection, which is not trusted with the next operation.
    template<typename F>
    auto guarded(F &&step);

    // Declared in this order so that the transaction ends before the connection it runs on.
    std::shared_ptr<KeptConnection> m_kept;
    std::unique_ptr<Cursor> m_cursor;
    std::unique_ptr<Transaction> m_transaction;
    QStringList m_columns;
    bool m_eof = true;
    bool m_atFirst = false;
    qint64 m_affected = 0;
    Mode m_mode = Mode::Browse;
    qint64 m_currentId = 0;
    QHash<int, QVariant> m_staged;
    QVariantList m_original; // the row being modified, as it was read
};
