#include "db/query/TextMatch.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <string>

// The query dialect's text comparisons, one row per case. The recordset, the in-memory copy and the window
// each keep a search of their own that shows they compare through these.
class TestTextMatch : public QObject {
    Q_OBJECT

private slots:
    void likeFoldsEveryLetter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        QTest::newRow("accented capital") << "CITTÀ" << "%città%" << true;
        QTest::newRow("accented lower vs capital pattern") << "perché" << "PERCHÉ" << true;
        QTest::newRow("accented capital pattern") << "àncora" << "%ÀNCORA%" << true;
        QTest::newRow("accent is not case") << "perche" << "perché" << false;
        QTest::newRow("accent is not case, capital pattern") << "ancora" << "%ÀNCORA%" << false;
        QTest::newRow("greek") << "ΑΛΦΑ" << "%λφ%" << true;
        QTest::newRow("underscore is one character") << "città" << "citt_" << true;
        QTest::newRow("underscore needs a character") << "citt" << "citt_" << false;
        QTest::newRow("percent matches none") << "abc" << "abc%" << true;
        QTest::newRow("no wildcard means equality") << "abcd" << "abc" << false;
        QTest::newRow("backtracking") << "aXbaXbc" << "%a%bc" << true;
        QTest::newRow("backtracking with underscores") << "caXbcaYbZd" << "%a_b_d" << true;
        QTest::newRow("backtracking with underscores, no match") << "caXbcaYbZd" << "%a_b_e" << false;
        QTest::newRow("backtracking past accented letters") << "àxÀyb" << "%à_b" << true;
        QTest::newRow("empty pattern") << "" << "" << true;
        QTest::newRow("bracket is literal") << "a[b]" << "%[b]%" << true;
        QTest::newRow("astral one character") << "x😀y" << "x_y" << true;
    }

    void likeFoldsEveryLetter()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);
        QCOMPARE(TextMatch::like(text, pattern), matches);
    }

    // Each row in reading order; each ends where the next begins, so together they order every term.
    void sortKeyIsItalianReadingOrder_data()
    {
        QTest::addColumn<QStringList>("ordered");
        QTest::newRow("accented beside its plain letter") << QStringList{"ancora", "Àncora", "banca"};
        QTest::newRow("case breaks the last ties") << QStringList{"banca", "Casa", "casa", "Perche"};
        QTest::newRow("accent breaks ties before case") << QStringList{"Perche", "perché", "perciò", "zeta"};
    }

    void sortKeyIsItalianReadingOrder()
    {
        QFETCH(QStringList, ordered);
        for (qsizetype i = 1; i < ordered.size(); ++i)
            QVERIFY2(TextMatch::sortKey(ordered[i - 1]) < TextMatch::sortKey(ordered[i]), qPrintable(ordered[i]));
    }

    // Left and Right take characters as like's "_" counts them, so an astral character stays whole; the
    // UTF-8 forms, which the in-memory copy uses, agree with these at every length.
    void leftAndRightCountCharacters_data()
    {
        const QString astral = QStringLiteral("😀"), a19(19, u'a'), a16(16, u'a');
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("n");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::newRow("empty") << QString() << qint64(1) << QString() << QString();
        QTest::newRow("shorter than asked") << "città" << qint64(20) << "città" << "città";
        QTest::newRow("twenty of thirty") << "0123456789abcdefghijKLMNOPQRST" << qint64(20) << "0123456789abcdefghij"
                                          << "abcdefghijKLMNOPQRST";
        QTest::newRow("astral twentieth from the start")
            << a19 + astral + "bcd" << qint64(20) << a19 + astral << a16 + astral + "bcd";
        QTest::newRow("astral twentieth from the end")
            << "bcd" + astral + a19 << qint64(20) << "bcd" + astral + a16 << astral + a19;
        QTest::newRow("astral pairs") << "x😀y😀z" << qint64(2) << "x😀" << "😀z";
        QTest::newRow("greek") << "ΑΛΦΑ beta" << qint64(3) << "ΑΛΦ" << "eta";
    }

    void leftAndRightCountCharacters()
    {
        QFETCH(QString, text);
        QFETCH(qint64, n);
        QFETCH(QString, left);
        QFETCH(QString, right);
        QCOMPARE(TextMatch::leftCharacters(QStringView(text), n).toString(), left);
        QCOMPARE(TextMatch::rightCharacters(QStringView(text), n).toString(), right);
        const QByteArray utf8 = text.toUtf8();
        for (qint64 m = 0; m <= text.size() + 1; ++m) {
            QCOMPARE(TextMatch::leftCharacters(QByteArrayView(utf8), m).toByteArray(),
                     TextMatch::leftCharacters(QStringView(text), m).toUtf8());
            QCOMPARE(TextMatch::rightCharacters(QByteArrayView(utf8), m).toByteArray(),
                     TextMatch::rightCharacters(QStringView(text), m).toUtf8());
        }
    }

    // The vector search against the plain one, at every alignment and across the ends of its blocks.
    void findAgreesWithAPlainSearch()
    {
        QRandomGenerator rng(7);
        for (int i = 0; i < 20000; ++i) {
            std::string text(rng.bounded(80), 'a'), needle(1 + rng.bounded(20), 'a');
            for (char &c : text)
                c = char('a' + rng.bounded(3));
            for (char &c : needle)
                c = char('a' + rng.bounded(3));
            const size_t from = text.empty() ? 0 : rng.bounded(int(text.size()));
            const size_t expected = text.find(needle, from);
            const char *end = text.data() + text.size();
            const char *found = TextMatch::find(text.data() + from, end, needle.data(), needle.size());
            QCOMPARE(found ? size_t(found - text.data()) : std::string::npos, expected);
        }
    }

    // Patterns of "%", "_" and letters against a regular expression that says the same, over few letters
    // (one of them two bytes long), so that the matcher's skipping and backtracking are tried at every turn.
    void likeAgreesWithARegularExpression()
    {
        QRandomGenerator rng(11);
        const QString letters = QStringLiteral("abà"), pieces = QStringLiteral("abà%_");
        for (int i = 0; i < 20000; ++i) {
            QString text, pattern, expression;
            for (int n = rng.bounded(12); n > 0; --n)
                text += letters[rng.bounded(letters.size())];
            for (int n = rng.bounded(7); n > 0; --n) {
                const QChar c = pieces[rng.bounded(pieces.size())];
                pattern += c;
                expression += c == u'%' ? QStringLiteral(".*") : c == u'_' ? QStringLiteral(".") : QString(c);
            }
            const QRegularExpression whole(QRegularExpression::anchoredPattern(expression));
            QVERIFY2(TextMatch::like(text, pattern) == whole.match(text).hasMatch(),
                     qPrintable(text + QStringLiteral(" LIKE ") + pattern));
        }
    }
};

QTEST_GUILESS_MAIN(TestTextMatch)
#include "tst_textmatch.moc"
