#include "db/glossary/Glossary.h"
#include "db/glossary/Store.h"
#include "db/query/TextMatch.h"
#include "db/recordset/ConnectionPool.h"
#include "db/recordset/Recordset.h"
#include "db/search/TableIndex.h"
#include "support/BlockIndexTamper.h"
#include "support/FuzzRun.h"
#include "support/TempGlossary.h"

#include <QRandomGenerator>
#include <QTest>

#include <tuple>

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
        // Terms that differ only in case sort by their own bytes, whatever their IDs.
        g.exec("INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (5000000000, 'ampio', 'oltre i 32 bit'),"
               "(5000000001, 'ca', 'c'), (5000000002, 'CA', 'C'),"
               "(5000000003, 'città', 'c'), (5000000004, 'CITTÀ', 'C')");

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
        // A term that differs only in case is placed by its own bytes, not by its ID.
        index.rowWritten(6, QStringLiteral("ÀNCORA"), QVariant());
        QCOMPARE(ids(store::QueryFindTerm("ncor")), QList<qint64>({6, 2, 5}));
        index.rowDeleted(1);
        QCOMPARE(ids(store::QueryAllTerms()), QList<qint64>({3, 6, 2, 5, 4}));
        QCOMPARE(ids(store::QueryFindDefinition("salv")), QList<qint64>({5}));
        // With every row deleted, the terms still held find nothing.
        for (const qint64 id : {2, 3, 4, 5, 6})
            index.rowDeleted(id);
        QCOMPARE(ids(store::QueryFindTerm("a")), QList<qint64>());

        // Terms of one length put every separator in the same place of each block a search reads at once.
        TableIndex sameLength;
        sameLength.beginTerms({"ID", "Parola", "Definizione"});
        for (qint64 id = 1; id <= 5000; ++id)
            sameLength.addTerm(id, QByteArray::number(id).rightJustified(15, '0'));
        sameLength.endTerms();
        QCOMPARE(idsFound(sameLength, store::QueryFindTerm("000000000004999")), QList<qint64>({4999}));
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
        // ZORVANE_BREAK_RUN_INDEX breaks the index of common runs on purpose, to see this fail.
        if (qEnvironmentVariableIsSet("ZORVANE_BREAK_RUN_INDEX"))
            BlockIndexTamper::dropFirstTermHolding(index, 'a');
        index.rowDeleted(7);
        const TermListing all = index.select(glossary::parse(store::QueryAllTerms()));
        // Sorted on two cores: nulls first, then by the key, then by ID.
        for (qsizetype i = 1; i < all.size(); ++i) {
            const auto place = [&](qsizetype at) {
                return std::tuple(!all.isNull(at), TextMatch::sortKey(all.term(at)), all.id(at));
            };
            QVERIFY2(place(i - 1) < place(i), qPrintable(all.term(i)));
        }
        // The last ones are rare: their finds lie tens of kilobytes apart.
        const QStringList typing = {"a", "ac", "aca", "aca a", "aca ca", "ac", "acit", "acitt", "àcittà", "a", "a%a",
                                    "a%a_", "à", "ßλφ", "ßλφ😀"};
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

    // Searches that read only the blocks of definitions the block index names find what a plain filter of every
    // row finds, across random writes; ZORVANE_BREAK_BLOCK_INDEX breaks the index on purpose, to see it fail.
    void blockIndexedSearchesFindWhatAFilterFinds()
    {
        const FuzzRun fuzz = FuzzRun::fromEnvironment(31337, 400);
        QRandomGenerator rng(fuzz.seed);
        // Common pieces and rarer codes, so that some blocks hold a run and others do not.
        const auto text = [&] {
            QString s = randomText(rng, 6);
            for (int i = int(rng.bounded(3)); i > 0; --i)
                s += QStringLiteral(" k%1").arg(rng.bounded(400));
            return s;
        };
        QHash<qint64, QString> terms, definitions; // a definition absent is a null
        TableIndex index;
        index.beginTerms({"ID", "Parola", "Definizione"});
        for (qint64 id = 1; id <= 3000; ++id) {
            terms.insert(id, text());
            const int row = index.addTerm(id, QByteArrayView(terms[id].toUtf8()));
            if (id % 53) {
                definitions.insert(id, id == 1 ? QStringLiteral("città") + text() : text());
                index.setDefinitionOfRow(row, QByteArrayView(definitions[id].toUtf8()));
            }
        }
        index.endTerms();
        index.endDefinitions();
        if (qEnvironmentVariableIsSet("ZORVANE_BREAK_BLOCK_INDEX"))
            BlockIndexTamper::dropFirstBlock(index, TextMatch::fold(definitions[1]));

        const auto like = [&](qint64 id, const QString &pattern, int part) {
            if (!definitions.contains(id))
                return false;
            const QString &d = definitions[id];
            const QStringView seen = part == 0   ? QStringView(d)
                                     : part == 1 ? TextMatch::leftCharacters(QStringView(d), 20)
                                                 : TextMatch::rightCharacters(QStringView(d), 20);
            return TextMatch::like(seen, u'%' + pattern + u'%');
        };
        // A piece of some definition, or of nothing, as a user types or pastes it.
        const auto piece = [&] {
            const QString d = definitions.value(rng.bounded(1, 3001), randomText(rng, 4));
            const int from = int(rng.bounded(qMax<qsizetype>(1, d.size())));
            return rng.bounded(4) ? d.mid(from, 2 + rng.bounded(6)) : randomText(rng, 3);
        };
        for (int c = 0; c < fuzz.cases; ++c) {
            const qint64 id = rng.bounded(1, 3100);
            if (rng.bounded(4) == 0) {
                terms.insert(id, text());
                const bool null = rng.bounded(8) == 0;
                null ? void(definitions.remove(id)) : void(definitions.insert(id, text()));
                index.rowWritten(id, terms[id], null ? QVariant() : QVariant(definitions[id]));
            } else if (rng.bounded(8) == 0) {
                terms.remove(id);
                definitions.remove(id);
                index.rowDeleted(id);
            }
            const TermListing all = index.select(glossary::parse(store::QueryAllTerms()));
            const QString typed = piece();
            QList<qint64> expected;
            const QStringList words = typed.split(u' ');
            for (qsizetype i = 0; i < all.size(); ++i) {
                if (std::all_of(words.cbegin(), words.cend(), [&](const QString &w) { return like(all.id(i), w, 0); }))
                    expected.append(all.id(i));
            }
            QCOMPARE(idsFound(index, store::QueryFindDefinition(typed)), expected);

            const QString d = piece(), first = piece(), last = piece(), t = piece();
            expected.clear();
            for (auto it = terms.cbegin(); it != terms.cend(); ++it) {
                if (like(it.key(), d, 0) || like(it.key(), first, 1) || like(it.key(), last, 2) ||
                    TextMatch::like(it.value(), u'%' + t + u'%'))
                    expected.append(it.key());
            }
            std::sort(expected.begin(), expected.end());
            QCOMPARE(idsFound(index, store::QuerySimilar(d, first, last, t)), expected);
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
