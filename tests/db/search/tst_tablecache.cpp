#include "db/glossary/Glossary.h"
#include "db/glossary/Store.h"
#include "db/query/TextMatch.h"
#include "db/recordset/ConnectionPool.h"
#include "db/recordset/Recordset.h"
#include "db/search/TableIndex.h"
#include "support/TempGlossary.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

using Listing = QList<QPair<qint64, QString>>;

// From the memory the rows after the first are read as the list reads them, all at once; from the file
// row by row.
Listing run(const QString &query, bool pooled)
{
    // Switching drops the kept connection; staying keeps it, and with it what the last search found.
    if (ConnectionPool::enabled() != pooled)
        ConnectionPool::setEnabled(pooled);
    Recordset rs;
    rs.Open(query, store::ConnectionString(), 1, 3, 1);
    Listing out;
    while (!rs.Eof()) {
        out.append({rs.Fields("ID").Value().toLongLong(), rs.Fields("Parola").Value().toString()});
        rs.MoveNext();
        if (pooled && !rs.Eof()) {
            const TermListing rest = rs.termListing("id", "PAROLA");
            for (qsizetype i = 0; i < rest.size(); ++i)
                out.append({rest.id(i), rest.term(i)});
            if (!rs.Eof())
                return {};
        }
    }
    return out;
}

// The IDs a search of the index found, in its order.
QList<qint64> idsFound(TableIndex &index, const QString &query)
{
    QList<qint64> out;
    const TermListing hits = index.select(glossary::parse(query));
    for (qsizetype i = 0; i < hits.size(); ++i)
        out.append(hits.id(i));
    return out;
}

QString randomText(QRandomGenerator &rng, int maxLength)
{
    static const QStringList pieces = {"a", "à", "À", "e", "é", "È", "ca", "CA", "città", "CITTÀ", " ", "'", "%", "_",
                                       "ß", "ΑΛ", "λφ", "😀", "\n", "x", "o", "ò", "l'", "perché", "PERCHE"};
    QString s;
    const int n = int(rng.bounded(maxLength + 1));
    for (int i = 0; i < n; ++i)
        s += pieces[int(rng.bounded(pieces.size()))];
    return s;
}

} // namespace

// The in-memory copy answers exactly what the file answers, whatever the text and after every write.
class TestTableCache : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { ConnectionPool::setEnabled(true); }

    void answersAsTheFileDoes()
    {
        QRandomGenerator rng(424242);
        QList<GlossaryFile::Row> rows;
        for (int i = 0; i < 300; ++i)
            rows.append({randomText(rng, 5), randomText(rng, 12)});
        TempGlossary g;
        g.add(rows);
        g.exec("INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (5000000000, 'ampio', 'oltre i 32 bit')");

        QCOMPARE(run(store::QueryAllTerms(), true), run(store::QueryAllTerms(), false));
        for (int i = 0; i < 60; ++i) {
            const QString text = randomText(rng, 3);
            const QString def = randomText(rng, 6);
            for (const QString &query :
                 {store::QueryFindTerm(text), store::QueryFindDefinition(text),
                  store::QuerySimilar(def, def.left(20), def.right(20), text)}) {
                const Listing fromMemory = run(query, true);
                QCOMPARE(fromMemory, run(query, false));
            }

            // Typing on in one box, then in the other: a search that extends the last one of its column looks
            // only at the rows that one found, and must find exactly what a full search finds; a correction
            // of the last keys and a step back search everything again.
            if (i % 4 == 0) {
                // One piece at a time, so that each step still finds rows.
                QStringList steps{randomText(rng, 1)};
                for (int k = 0; k < 3; ++k)
                    steps.append(steps.last() + randomText(rng, 1));
                steps << steps[2] + randomText(rng, 1) << steps[1];
                QStringList queries;
                for (const QString &step : steps)
                    queries.append(store::QueryFindTerm(step));
                for (const QString &step : steps)
                    queries.append(store::QueryFindDefinition(step));
                QList<Listing> fromFile;
                for (const QString &query : queries)
                    fromFile.append(run(query, false));
                for (qsizetype k = 0; k < queries.size(); ++k)
                    QCOMPARE(run(queries[k], true), fromFile[k]);
            }
            if (i % 10 == 0) {
                // Own writes reach the copy; so do other programs' writes.
                Recordset rs;
                rs.Open(store::QueryAllRows(), store::ConnectionString(), 1, 3, 1);
                rs.AddNew();
                rs.Fields("PAROLA").setValue(randomText(rng, 4));
                rs.Fields("DEFINIZIONE").setValue(randomText(rng, 8));
                rs.UpdateBatch();
                rs.Open(store::QueryRowById(1 + i / 10), store::ConnectionString(), 1, 3, 1);
                rs.Fields("PAROLA").setValue(randomText(rng, 4));
                rs.UpdateBatch();
                rs.Open(store::QueryDeleteById(100 + i / 10), store::ConnectionString(), 1, 3, 1);
                g.exec(QStringLiteral("UPDATE Tbl_Zorvane SET Definizione = 'città' WHERE ID = %1").arg(200 + i));
            }
        }
    }

    // The index alone, filled by hand: no file, no loader.
    void theIndexAnswersWithoutAFile()
    {
        TableIndex index;
        index.beginTerms({"ID", "Parola", "Definizione"});
        index.addTerm(1, QByteArrayView("zucchero"));
        index.addTerm(2, QByteArrayView("Àncora"));
        index.addTerm(3, std::nullopt);
        index.addTerm(4, QByteArrayView("casa"));
        index.endTerms();
        index.setDefinition(1, QByteArrayView("dolce"));
        index.setDefinition(2, QByteArrayView("ÀNCORA DELLA NAVE"));
        index.setDefinition(4, std::nullopt);
        index.endDefinitions();
        const auto ids = [&](const QString &query) { return idsFound(index, query); };
        QCOMPARE(ids(store::QueryAllTerms()), QList<qint64>({3, 2, 4, 1}));
        QCOMPARE(ids(store::QueryFindDefinition("nave àncora")), QList<qint64>({2}));
        QCOMPARE(ids(store::QueryFindTerm("a")), QList<qint64>({2, 4}));
        QCOMPARE(ids(store::QueryFindTerm("as")), QList<qint64>({4}));
        // A search that extends the last looks only at the rows that one found; a correction does not, nor
        // a search after the rows have changed.
        QCOMPARE(ids(store::QueryFindTerm("nc")), QList<qint64>({2}));
        QCOMPARE(ids(store::QueryFindTerm("ca")), QList<qint64>({4}));
        QCOMPARE(ids(store::QueryFindTerm("nco")), QList<qint64>({2}));
        index.rowWritten(5, QStringLiteral("àncora"), QStringLiteral("di salvezza"));
        QCOMPARE(ids(store::QueryFindTerm("ncor")), QList<qint64>({2, 5}));
        index.rowDeleted(1);
        QCOMPARE(ids(store::QueryAllTerms()), QList<qint64>({3, 2, 5, 4}));
        QCOMPARE(ids(store::QueryFindDefinition("salv")), QList<qint64>({5}));
    }

    // Enough rows that a search and its narrowing each split the work between two threads: typing on, in
    // the terms and then in the definitions, every step answers what a plain filter of the whole list
    // answers, in the same order.
    void aLargeIndexNarrowsAsAFullSearchFinds()
    {
        QRandomGenerator rng(1208);
        TableIndex index;
        index.beginTerms({"ID", "Parola", "Definizione"});
        // Most texts hold an "a", so that the first search keeps over a megabyte of terms to narrow.
        const auto text = [&] { return (rng.bounded(8) ? QStringLiteral("a") : QString()) + randomText(rng, 12); };
        QHash<qint64, QString> texts[2];
        for (qint64 id = 1; id <= 90000; ++id) {
            texts[0].insert(id, text());
            texts[1].insert(id, text());
            const int row =
                index.addTerm(id, id % 997 ? std::optional(QByteArrayView(texts[0][id].toUtf8())) : std::nullopt);
            index.setDefinitionOfRow(row, QByteArrayView(texts[1][id].toUtf8()));
        }
        index.endTerms();
        index.endDefinitions();
        index.rowDeleted(7);
        const TermListing all = index.select(glossary::parse(store::QueryAllTerms()));
        const QStringList typing = {"a", "ac", "aca", "aca a", "aca ca", "ac", "acit", "acitt", "àcittà", "a", "a%a",
                                    "a%a_", "à"};
        for (int column = 0; column < 2; ++column) {
            for (const QString &typed : typing) {
                QList<qint64> expected;
                const QStringList words = typed.split(u' ');
                for (qsizetype i = 0; i < all.size(); ++i) {
                    const qint64 id = all.id(i);
                    if ((column == 1 || !all.isNull(i)) &&
                        std::all_of(words.cbegin(), words.cend(), [&](const QString &word) {
                            return TextMatch::like(texts[column][id], u'%' + word + u'%');
                        }))
                        expected.append(id);
                }
                QCOMPARE(idsFound(index, column == 0 ? store::QueryFindTerm(typed) : store::QueryFindDefinition(typed)),
                         expected);
            }
        }
    }

    void nullsAndForeignColumns()
    {
        TempGlossary g;
        g.exec("DROP TABLE Tbl_Zorvane");
        g.exec("CREATE TABLE Tbl_Zorvane (Definizione TEXT, Extra TEXT, parola TEXT, id INTEGER PRIMARY KEY)");
        g.exec("INSERT INTO Tbl_Zorvane VALUES ('senza termine', 'x', NULL, 3), (NULL, 'y', 'senza definizione', 1),"
               "('piena', 'z', 'piena', 2)");
        for (const QString &query : {store::QueryAllTerms(), store::QueryFindTerm("en"), store::QueryFindDefinition("en"),
                                     store::QuerySimilar("zz", "zz", "zz", "piena")})
            QCOMPARE(run(query, true), run(query, false));

        ConnectionPool::setEnabled(true);
        Recordset rs;
        rs.Open(store::QueryFindTerm("piena"), store::ConnectionString(), 1, 3, 1);
        QCOMPARE(rs.Fields("Extra").Value().toString(), QStringLiteral("z"));
        QCOMPARE(rs.Fields("DEFINIZIONE").Value().toString(), QStringLiteral("piena"));
    }
};

QTEST_GUILESS_MAIN(TestTableCache)
#include "tst_tablecache.moc"
