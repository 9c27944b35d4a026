#include "db/glossary/Store.h"

#include <QTest>

class TestStore : public QObject {
    Q_OBJECT

private slots:
    void connectionStringUsesTheExecutableFolder()
    {
        store::setAppPath(QStringLiteral("/opt/zorvane"));
        QCOMPARE(store::ConnectionString(),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/zorvane/QUORLAN.mdb;"
                                "Jet OLEDB:Database Password=RUNFALK;"));
        store::setAppPath(QString());
        QVERIFY(store::ConnectionString().contains(QCoreApplication::applicationDirPath() + "/QUORLAN.mdb;"));
    }

    void catalogue_data()
    {
        QTest::addColumn<QString>("built");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all terms") << store::QueryAllTerms() << "Select * from Tbl_Zorvane order by Parola";
        QTest::newRow("all rows") << store::QueryAllRows() << "Select * from Tbl_Zorvane";
        QTest::newRow("row by id, no blank after =")
            << store::QueryRowById(12) << "Select * from Tbl_Zorvane where ID =12";
        QTest::newRow("row by id beyond 16 bits")
            << store::QueryRowById(40000) << "Select * from Tbl_Zorvane where ID =40000";
        QTest::newRow("delete, two blanks before =")
            << store::QueryDeleteById(12) << "Delete * from Tbl_Zorvane WHERE ID  = 12";
        QTest::newRow("find term, one word")
            << store::QueryFindTerm("ab") << "Select * from Tbl_Zorvane WHERE Parola like '%ab%' ORDER by Parola";
        QTest::newRow("find term, two words")
            << store::QueryFindTerm("ab cd")
            << "Select * from Tbl_Zorvane WHERE Parola like '%ab%' and PAROLA like '%cd%' ORDER by Parola";
        QTest::newRow("find term, trailing blank gives an empty word")
            << store::QueryFindTerm("ab ")
            << "Select * from Tbl_Zorvane WHERE Parola like '%ab%' and PAROLA like '%%' ORDER by Parola";
        QTest::newRow("find term, apostrophe doubled")
            << store::QueryFindTerm("l'abito")
            << "Select * from Tbl_Zorvane WHERE Parola like '%l''abito%' ORDER by Parola";
        QTest::newRow("find definition, two words")
            << store::QueryFindDefinition("ab  cd")
            << "Select * from Tbl_Zorvane WHERE Definizione like '%ab%' and Definizione like '%%' and Definizione "
               "like '%cd%' ORDER by Parola";
        QTest::newRow("wildcards are not escaped")
            << store::QueryFindTerm("a%_b") << "Select * from Tbl_Zorvane WHERE Parola like '%a%_b%' ORDER by Parola";
        QTest::newRow("similar")
            << store::QuerySimilar("D'x", "L", "R'", "T")
            << "Select * from Tbl_Zorvane WHERE Definizione like '%D''x%' or Left(Definizione, 20) like '%L%' or "
               "Right(Definizione, 20) like '%R''%' OR Parola like '%T%'";
    }

    void catalogue()
    {
        QFETCH(QString, built);
        QFETCH(QString, expected);
        QCOMPARE(built, expected);
    }

    void escapeDoublesApostrophesOnly()
    {
        QCOMPARE(store::escape("l'a''b%_\"c"), QStringLiteral("l''a''''b%_\"c"));
        QCOMPARE(store::escape(QString()), QString());
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
