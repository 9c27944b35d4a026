#include "db/sqlite/Connection.h"
#include "db/sqlite/SqliteError.h"
#include "db/sqlite/Statement.h"
#include "db/sqlite/Transaction.h"

#include <QTemporaryDir>
#include <QTest>

#include <sqlcipher/sqlite3.h>

// The lowest layer on a plain database, with no key and no glossary: it hands back values as stored and
// reports every failure as SQLite's own code, leaving the words to the layers above.
class TestSqlite : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file() const { return m_dir.filePath(QStringLiteral("plain.db")); }

private slots:
    void init()
    {
        QFile::remove(file());
        Connection db(file(), Connection::Mode::Create);
        db.exec("CREATE TABLE t (n INTEGER PRIMARY KEY, s TEXT)");
    }

    void valuesComeBackAsTheyWereBound()
    {
        Connection db(file());
        {
            Transaction t(db);
            Statement insert(db, "INSERT INTO t (n, s) VALUES (?1, ?2)");
            insert.bind(1, QVariant(qint64(7)));
            insert.bind(2, std::optional<QString>(QStringLiteral("\uFEFFperché")));
            insert.step();
            t.commit();
        }
        QCOMPARE(db.lastInsertRowId(), 7);
        Statement select(db, "SELECT n, s, NULL FROM t");
        QVERIFY(select.step());
        QCOMPARE(select.integer(0), 7);
        QCOMPARE(select.text(1), QStringLiteral("\uFEFFperché"));
        QVERIFY(!select.optionalText(2));
        QVERIFY(!select.step());
    }

    void failuresAreSqliteCodes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("code");
        QTest::newRow("an unknown table") << "SELECT * FROM nowhere" << SQLITE_ERROR;
        QTest::newRow("a second statement") << "SELECT 1; SELECT 2" << SqliteError::MoreThanOneStatement;
        QTest::newRow("a broken constraint") << "INSERT INTO t (n) VALUES (1), (1)" << SQLITE_CONSTRAINT;
    }

    void failuresAreSqliteCodes()
    {
        QFETCH(QString, sql);
        QFETCH(int, code);
        Connection db(file());
        try {
            Statement s(db, sql);
            while (s.step()) {
            }
            QFAIL("no failure");
        } catch (const SqliteError &e) {
            QCOMPARE(code < 0 ? e.code() : e.primary(), code);
            QVERIFY(!e.message().isEmpty());
        }
    }

    void aRolledBackTransactionLeavesNothing()
    {
        Connection db(file());
        {
            Transaction t(db);
            db.exec("INSERT INTO t (n) VALUES (1)");
        }
        Statement count(db, "SELECT count(*) FROM t");
        count.step();
        QCOMPARE(count.integer(0), 0);
    }

    void aFileThatCannotBeOpenedIsItsCode()
    {
        try {
            Connection db(m_dir.filePath(QStringLiteral("no/such/folder.db")));
            QFAIL("opened");
        } catch (const SqliteError &e) {
            QCOMPARE(e.primary(), SQLITE_CANTOPEN);
        }
    }
};

QTEST_GUILESS_MAIN(TestSqlite)
#include "tst_sqlite.moc"
