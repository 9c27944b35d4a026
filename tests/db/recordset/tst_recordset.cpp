#include "db/error/DbError.h"
#include "db/glossary/ConnectionTarget.h"
#include "db/glossary/Store.h"
#include "db/query/TextMatch.h"
#include "db/recordset/Recordset.h"
#include "support/FailureNumber.h"
#include "support/Files.h"
#include "support/OtherProgramLock.h"
#include "support/TempGlossary.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

QStringList terms(const QString &query)
{
    Recordset rs;
    rs.Open(query, store::ConnectionString(), 1, 3, 1);
    QStringList out;
    while (!rs.Eof()) {
        out.append(rs.Fields("Parola").Value().toString());
        rs.MoveNext();
    }
    return out;
}

} // namespace

class TestRecordset : public QObject {
    Q_OBJECT

private slots:
    // The order, Left and Right are the query layer's (tst_textmatch); the recordset lists and finds by them,
    // an astral character at the 20th place from either end whole.
    void listsAndFindsAsTheQueryLayerCompares()
    {
        const QString astral = QStringLiteral("😀");
        TempGlossary g({{"zeta", QString(19, u'a') + astral + "b"}, {"Àncora", "b" + astral + QString(19, u'a')},
                        {"ancora", ""}});
        QCOMPARE(terms(store::QueryAllTerms()), QStringList({"ancora", "Àncora", "zeta"}));
        QCOMPARE(terms(store::QuerySimilar("zz", "a" + astral, "zz", "zz")), QStringList({"zeta"}));
        QCOMPARE(terms(store::QuerySimilar("zz", "zz", astral + "a", "zz")), QStringList({"Àncora"}));
        QCOMPARE(terms(store::QuerySimilar("zz", astral, "zz", "zz")), QStringList({"zeta", "Àncora"}));
    }

    void fieldsAreReadAndWrittenByNameInAnyCase()
    {
        TempGlossary g({{"uno", "primo"}});
        Recordset rs;
        rs.Open(store::QueryRowById(1), store::ConnectionString(), 1, 3, 1);
        QCOMPARE(rs.Fields("PAROLA").Value().toString(), QStringLiteral("uno"));
        QCOMPARE(rs.Fields("id").Value().toLongLong(), 1);
        rs.Fields("PAROLA").setValue("due");
        rs.Fields("DEFINIZIONE").setValue("secondo");
        rs.UpdateBatch();
        rs.Close();
        QCOMPARE(g.rows(), QList<TempGlossary::StoredRow>({{1, "due", "secondo"}}));
        QCOMPARE(failureNumber([&] {
                     Recordset r;
                     r.Open(store::QueryAllRows(), store::ConnectionString(), 1, 3, 1);
                     r.Fields("Nome").Value();
                 }),
                 int(DbError::NoSuchField));
    }

    void addNewGivesTheIdBeforeTheRowIsWritten()
    {
        TempGlossary g({{"uno", "primo"}});
        g.exec("INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (40000, 'alto', 'oltre 16 bit')");
        {
            Recordset rs;
            rs.Open(store::QueryAllRows(), store::ConnectionString(), 1, 3, 1);
            rs.AddNew();
            QCOMPARE(rs.Fields("ID").Value().toLongLong(), 40001);
            rs.Fields("PAROLA").setValue("nuovo");
            rs.Fields("DEFINIZIONE").setValue("l'ultimo");
            rs.UpdateBatch();
        }
        QCOMPARE(g.rows().last(), (TempGlossary::StoredRow{40001, "nuovo", "l'ultimo"}));

        {
            Recordset rs;
            rs.Open(store::QueryAllRows(), store::ConnectionString(), 1, 3, 1);
            rs.AddNew();
            rs.Fields("PAROLA").setValue("abbandonato");
        }
        QCOMPARE(g.rows().size(), 3);
    }

    void anUpdateOfARowDeletedMeanwhileWritesNothing()
    {
        TempGlossary g({{"uno", "primo"}, {"due", "secondo"}});
        Recordset rs;
        rs.Open(store::QueryRowById(1), store::ConnectionString(), 1, 3, 1);
        // Staging a value lets go of the read, so another program may delete the row meanwhile.
        rs.Fields("PAROLA").setValue("rinato");
        g.exec("DELETE FROM Tbl_Zorvane WHERE ID = 1");
        QCOMPARE(failureNumber([&] { rs.UpdateBatch(); }), int(DbError::NoCurrentRecord));
        rs.Close();
        QCOMPARE(g.rows(), QList<TempGlossary::StoredRow>({{2, "due", "secondo"}}));
    }

    void deleteRemovesTheRowAndCountsIt()
    {
        TempGlossary g({{"uno", "primo"}, {"due", "secondo"}});
        Recordset rs;
        rs.Open(store::QueryDeleteById(1), store::ConnectionString(), 1, 3, 1);
        QVERIFY(!rs.isOpen());
        QCOMPARE(rs.RecordsAffected(), 1);
        rs.Open(store::QueryDeleteById(1), store::ConnectionString(), 1, 3, 1);
        QCOMPARE(rs.RecordsAffected(), 0);
        QCOMPARE(g.rows(), QList<TempGlossary::StoredRow>({{2, "due", "secondo"}}));
    }

    void emptyResultHasNoCurrentRecord()
    {
        TempGlossary g;
        Recordset rs;
        rs.Open(store::QueryAllTerms(), store::ConnectionString(), 1, 3, 1);
        QVERIFY(rs.Eof());
        QCOMPARE(failureNumber([&] { rs.MoveFirst(); }), int(DbError::NoCurrentRecord));
        QCOMPARE(failureNumber([&] { rs.Fields("Parola").setValue("x"); }), int(DbError::NoCurrentRecord));
    }

    void onlyCatalogueShapesAreAccepted_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("number");
        QTest::newRow("second statement") << "Select * from Tbl_Zorvane; DROP TABLE Tbl_Zorvane" << 3075;
        QTest::newRow("unterminated literal") << "Select * from Tbl_Zorvane WHERE Parola like '%a" << 3075;
        QTest::newRow("update") << "Update Tbl_Zorvane set Parola = 'x'" << 3075;
        QTest::newRow("comment") << "Select * from Tbl_Zorvane -- x" << 3075;
        QTest::newRow("other table") << "Select * from sqlite_master" << 3075;
        QTest::newRow("unknown column") << "Select * from Tbl_Zorvane WHERE Nome like 'a'" << 3265;
        QTest::newRow("delete without where") << "Delete * from Tbl_Zorvane" << 3075;
    }

    void onlyCatalogueShapesAreAccepted()
    {
        QFETCH(QString, query);
        QFETCH(int, number);
        TempGlossary g({{"uno", "primo"}});
        QCOMPARE(failureNumber([&] {
                     Recordset rs;
                     rs.Open(query, store::ConnectionString(), 1, 3, 1);
                 }),
                 number);
        QCOMPARE(g.rows().size(), 1);
    }

    void anyGlossaryWhoeverMadeIt()
    {
        TempGlossary g;
        QFile::remove(g.file());
        execOn(g.file(), GlossaryKey,
               "CREATE TABLE tbl_zorvane (definizione TEXT, PAROLA TEXT, id INTEGER PRIMARY KEY);"
               "INSERT INTO tbl_zorvane VALUES ('d', NULL, 7);");
        Recordset rs;
        rs.Open(store::QueryAllTerms(), store::ConnectionString(), 1, 3, 1);
        QCOMPARE(rs.Fields("ID").Value().toLongLong(), 7);
        QVERIFY(rs.Fields("Parola").Value().isNull());
        QCOMPARE(rs.Fields("Definizione").Value().toString(), QStringLiteral("d"));
    }

    // The window finds and changes rows by ID: only a table whose ID is its one whole-number key is one.
    void onlyATableKeyedByIdIsAGlossary_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("number");
        QTest::newRow("INTEGER PRIMARY KEY") << "ID INTEGER PRIMARY KEY, Parola, Definizione" << 0;
        QTest::newRow("composite key") << "ID INTEGER, Parola, Definizione, PRIMARY KEY (ID, Parola)"
                                       << int(DbError::NotAGlossary);
        QTest::newRow("text key") << "ID TEXT PRIMARY KEY, Parola, Definizione" << int(DbError::NotAGlossary);
        QTest::newRow("real key") << "ID REAL PRIMARY KEY, Parola, Definizione" << int(DbError::NotAGlossary);
        QTest::newRow("INT key, nulls allowed") << "ID INT PRIMARY KEY, Parola, Definizione" << int(DbError::NotAGlossary);
        QTest::newRow("no key") << "ID INTEGER, Parola, Definizione" << int(DbError::NotAGlossary);
    }

    void onlyATableKeyedByIdIsAGlossary()
    {
        QFETCH(QString, table);
        QFETCH(int, number);
        TempGlossary g;
        g.exec("DROP TABLE Tbl_Zorvane; CREATE TABLE Tbl_Zorvane (" + table + ")");
        QCOMPARE(failureNumber([] {
                     Recordset rs;
                     rs.Open(store::QueryAllTerms(), store::ConnectionString(), 1, 3, 1);
                 }),
                 number);
    }

    // A folder may be named with anything a file system allows, ";" and quotes included.
    void anyFolderNameIsReached()
    {
        TempGlossary g({{"uno", "primo"}});
        for (const QString &name : {QStringLiteral("Zorvane; copia"), QStringLiteral("l'\"altra\" copia")}) {
            const QString folder = g.folder() + u'/' + name;
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::copy(g.file(), folder + QStringLiteral("/QUORLAN.mdb")));
            store::setAppPath(folder);
            QCOMPARE(ConnectionTarget::parse(store::ConnectionString()).dataSource, folder + QStringLiteral("/QUORLAN.mdb"));
            QCOMPARE(terms(store::QueryAllTerms()), QStringList({"uno"}));
        }
        store::setAppPath(g.folder());
    }

    void failuresHaveTheirNumbers()
    {
        TempGlossary g({{"uno", "primo"}});
        const auto open = [] {
            Recordset rs;
            rs.Open(store::QueryAllTerms(), store::ConnectionString(), 1, 3, 1);
        };
        const QByteArray original = Files::bytesOf(g.file());

        // Held by another program inside an exclusive transaction: locked, never "wrong password".
        OtherProgramLock lock(g.file(), "BEGIN EXCLUSIVE");
        QVERIFY(lock.held());
        QCOMPARE(failureNumber(open), int(DbError::FileLocked));
        lock.lift();
        QCOMPARE(failureNumber(open), 0);

        QFile::remove(g.file());
        QCOMPARE(failureNumber(open), int(DbError::FileNotFound));

        GlossaryFile::create(g.file(), "ALTRA");
        QCOMPARE(failureNumber(open), int(DbError::WrongPassword));

        QByteArray noise(5000, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        Files::writeFile(g.file(), noise);
        QCOMPARE(failureNumber(open), int(DbError::NotAGlossary));

        Files::writeFile(g.file(), QByteArray());
        QCOMPARE(failureNumber(open), int(DbError::NotAGlossary));
        QCOMPARE(QFile(g.file()).size(), 0);

        QFile::remove(g.file());
        execOn(g.file(), {}, "CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY, Parola, Definizione)");
        QCOMPARE(failureNumber(open), int(DbError::NotAGlossary));

        QFile::remove(g.file());
        execOn(g.file(), GlossaryKey, "CREATE TABLE Altro (x)");
        QCOMPARE(failureNumber(open), int(DbError::NotAGlossary));

        Files::writeFile(g.file(), original);
        QCOMPARE(failureNumber(open), 0);
    }
};

QTEST_GUILESS_MAIN(TestRecordset)
#include "tst_recordset.moc"
