#include "RawGlossary.h"
#include "db/error/DbError.h"
#include "db/glossary/Glossary.h"
#include "db/glossary/Store.h"
#include "db/query/CatalogQuery.h"
#include "db/query/TextMatch.h"
#include "db/recordset/Recordset.h"
#include "support/Files.h"
#include "support/FuzzRun.h"
#include "support/TempGlossary.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <memory>

namespace {

// Where a typed text goes: the two searches and each of the four places of the duplicate check.
enum Place { FindTerm, FindDefinition, SimilarDefinition, SimilarFirst20, SimilarLast20, SimilarTerm, PlaceCount };

const char *const placeNames[PlaceCount] = {"QueryFindTerm", "QueryFindDefinition", "QuerySimilar D", "QuerySimilar L",
    "QuerySimilar R", "QuerySimilar T"};

QString ch(char16_t unit)
{
    return QString(QChar(unit));
}

// Pieces that break hand-built SQL: quotes, statement ends, comment openers, parameter marks, wildcards,
// NUL and other controls, blanks, letters whose case folding changes their length, astral characters and
// lone halves of surrogate pairs (invalid UTF-16).
const QStringList &typedPieces()
{
    static const QStringList pieces = [] {
        QStringList p = {"'", "''", "\"", ";", "--", "/*", "*/", "%", "_", " ", "  ", "?1", "?", ":x", "@x", "$x",
            "\\", "[", "]", "(", ")", "=", ",", "*", "a", "b", "A", "Z", "x", "7", "à", "È", "ß", "İ", "ﬀ", "Σ", "ς",
            "€", "😀", "𝔸", "ID", "Tbl_Zorvane", "Parola", "like", "' OR '1'='1", "'; DROP TABLE Tbl_Zorvane; --", "\t",
            "\r\n"};
        p << ch(0) << ch(1) << ch(0x1b) << ch(0x7f) << ch(0x85) << ch(0x2028) << ch(0xfeff) << ch(0xd83d) << ch(0xde00)
          << ch(0xde00) + ch(0xd83d);
        return p;
    }();
    return pieces;
}

// What stored rows are made of: valid text only, since the file keeps text as UTF-8.
const QStringList &storedPieces()
{
    static const QStringList pieces = [] {
        QStringList p = {"a", "b", "A", "x", "7", "à", "È", "ß", "Σ", "ς", "ﬀ", "😀", "'", "\"", "%", "_", " ", ";",
            "--", "\t", "\n"};
        p << ch(0);
        return p;
    }();
    return pieces;
}

QString randomText(QRandomGenerator &rng, const QStringList &pieces, int most)
{
    QString text;
    for (int i = 0, n = int(rng.bounded(most + 1)); i < n; ++i)
        text += pieces[int(rng.bounded(int(pieces.size())))];
    return text;
}

// Mostly short texts, as typed; now and then a long one, as pasted.
QString randomTypedText(QRandomGenerator &rng)
{
    const quint32 roll = rng.bounded(100);
    return randomText(rng, typedPieces(), roll < 70 ? 4 : roll < 95 ? 16 : 200);
}

QString megabyteOf(QRandomGenerator &rng, bool withBlanks)
{
    constexpr qsizetype size = 1 << 20;
    QString text;
    text.reserve(size + 64);
    while (text.size() < size) {
        const QString &piece = typedPieces()[int(rng.bounded(int(typedPieces().size())))];
        if (withBlanks || !piece.contains(u' '))
            text += piece;
    }
    text.truncate(size);
    return text;
}

// Printable in a failure message, with every unit outside printable ASCII spelled out.
QString show(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < qMin<qsizetype>(text.size(), 60); ++i) {
        const char16_t u = text[i].unicode();
        out += u >= 0x20 && u < 0x7f ? QString(QChar(u)) : QStringLiteral("\\u%1").arg(int(u), 4, 16, QChar(u'0'));
    }
    if (text.size() > 60)
        out += QStringLiteral("... (%1 unità)").arg(text.size());
    return out;
}

// Neither in the typed pieces nor in the stored rows, so the other places of the duplicate check find nothing.
const QString otherPlace = QStringLiteral("§");

struct Built {
    QString query;
    QStringList parameters;
    // The same query built from plain words: its SQL must be the same, whatever was typed.
    QString twin;
};

QStringList wrapped(const QStringList &words)
{
    QStringList out;
    for (const QString &w : words)
        out.append(u'%' + w + u'%');
    return out;
}

QStringList similarArguments(int place, const QString &text)
{
    QStringList args(4, otherPlace);
    args[place - SimilarDefinition] = text;
    return args;
}

Built build(int place, const QString &text)
{
    const QStringList words = text.split(u' ');
    const QString plain = QStringList(words.size(), QStringLiteral("x")).join(u' ');
    switch (place) {
    case FindTerm:
        return {store::QueryFindTerm(text), wrapped(words), store::QueryFindTerm(plain)};
    case FindDefinition:
        return {store::QueryFindDefinition(text), wrapped(words), store::QueryFindDefinition(plain)};
    default: {
        const QStringList a = similarArguments(place, text);
        return {store::QuerySimilar(a[0], a[1], a[2], a[3]), wrapped(a), store::QuerySimilar("x", "x", "x", "x")};
    }
    }
}

// The fixed part of the SQL: plain ASCII with no quote, no statement end and no comment.
bool isSkeleton(const QString &sql)
{
    for (QChar c : sql) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == u'\'' || c == u';')
            return false;
    }
    return !sql.contains(QStringLiteral("--")) && !sql.contains(QStringLiteral("/*"));
}

// What SQLite itself makes of a translated text, on an empty table of the same shape: empty when it is one
// read-only statement with exactly the expected number of parameters. Each distinct text is asked once.
QString sqliteShape(const QString &sql, qsizetype parameters)
{
    static QSet<QString> seen;
    static const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> connection([] {
        sqlite3 *d = nullptr;
        sqlite3_open(":memory:", &d);
        sqlite3_exec(d, "CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY, Parola TEXT, Definizione TEXT)", nullptr,
            nullptr, nullptr);
        const auto none = [](sqlite3_context *ctx, int, sqlite3_value **) { sqlite3_result_null(ctx); };
        sqlite3_create_function(d, "zv_like", 2, SQLITE_UTF8, nullptr, none, nullptr, nullptr);
        sqlite3_create_function(d, "zv_left", 2, SQLITE_UTF8, nullptr, none, nullptr, nullptr);
        sqlite3_create_function(d, "zv_right", 2, SQLITE_UTF8, nullptr, none, nullptr, nullptr);
        sqlite3_create_function(d, "zv_sortkey", 1, SQLITE_UTF8, nullptr, none, nullptr, nullptr);
        return d;
    }(), sqlite3_close);
    sqlite3 *db = connection.get();
    if (seen.contains(sql))
        return QString();
    sqlite3_stmt *stmt = nullptr;
    const void *tail = nullptr;
    if (sqlite3_prepare16_v2(db, sql.utf16(), int(sql.size() * 2), &stmt, &tail) != SQLITE_OK)
        return QStringLiteral("SQLite non la accetta: %1").arg(QString::fromUtf8(sqlite3_errmsg(db)));
    const auto rest = QStringView(static_cast<const QChar *>(tail), sql.constData() + sql.size()).trimmed();
    const bool readOnly = sqlite3_stmt_readonly(stmt);
    const int count = sqlite3_bind_parameter_count(stmt);
    sqlite3_finalize(stmt);
    if (!rest.isEmpty())
        return QStringLiteral("testo dopo la prima istruzione: %1").arg(show(rest.toString()));
    if (!readOnly)
        return QStringLiteral("l'istruzione scrive");
    if (count != parameters)
        return QStringLiteral("SQLite vede %1 parametri invece di %2").arg(count).arg(parameters);
    seen.insert(sql);
    return QString();
}

// Empty when the query keeps the typed text inside its literals; otherwise what went wrong.
QString checkTranslation(int place, const QString &text)
{
    const Built b = build(place, text);
    CatalogQuery::Sql q, twin;
    try {
        const CatalogQuery parsed = glossary::parse(b.query);
        if (parsed.kind != CatalogQuery::Select)
            return QStringLiteral("non è una Select");
        q = parsed.toSql();
        twin = glossary::parse(b.twin).toSql();
    } catch (const DbError &e) {
        return QStringLiteral("rifiutata: %1 %2").arg(e.number()).arg(e.description());
    }
    if (q.text != twin.text)
        return QStringLiteral("SQL diverso da quello delle parole semplici: %1").arg(show(q.text));
    if (!isSkeleton(q.text))
        return QStringLiteral("SQL fuori dallo scheletro: %1").arg(show(q.text));
    // Past the bind limit SQLite refuses the statement, as the file test below expects.
    if (q.parameters.size() <= 999) {
        if (const QString shape = sqliteShape(q.text, b.parameters.size()); !shape.isEmpty())
            return shape;
    }
    if (q.parameters.size() != b.parameters.size())
        return QStringLiteral("%1 parametri invece di %2").arg(q.parameters.size()).arg(b.parameters.size());
    for (qsizetype i = 0; i < q.parameters.size(); ++i) {
        const QVariant &p = q.parameters[i];
        if (p.typeId() != QMetaType::QString || p.toString() != b.parameters[i])
            return QStringLiteral("parametro %1 è %2 invece di %3")
                .arg(i + 1)
                .arg(show(p.toString()), show(b.parameters[i]));
    }
    return QString();
}

// "Characters" as the like of the recordset counts them: code points, not UTF-16 units.
QString firstCharacters(const QString &s, int n)
{
    const QList<uint> ucs = s.toUcs4();
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(ucs.constData()), qMin<qsizetype>(n, ucs.size()));
}

QString lastCharacters(const QString &s, int n)
{
    const QList<uint> ucs = s.toUcs4();
    const qsizetype k = qMin<qsizetype>(n, ucs.size());
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(ucs.constData()) + ucs.size() - k, k);
}

bool contains(const QString &text, const QString &word)
{
    return TextMatch::like(text, u'%' + word + u'%');
}

// What the query must find, by looking at every row; the searches in reading order, the check by ID.
QList<qint64> reference(int place, const QString &text, const QList<TempGlossary::StoredRow> &rows)
{
    QList<TempGlossary::StoredRow> found;
    if (place == FindTerm || place == FindDefinition) {
        const QStringList words = text.split(u' ');
        for (const auto &row : rows) {
            const QString &column = place == FindTerm ? row.term : row.definition;
            if (std::all_of(words.begin(), words.end(), [&](const QString &w) { return contains(column, w); }))
                found.append(row);
        }
        std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
            const QByteArray ka = TextMatch::sortKey(a.term), kb = TextMatch::sortKey(b.term);
            return ka != kb ? ka < kb : a.id < b.id;
        });
    } else {
        const QStringList a = similarArguments(place, text);
        for (const auto &row : rows) {
            if (contains(row.definition, a[0]) || contains(firstCharacters(row.definition, 20), a[1])
                || contains(lastCharacters(row.definition, 20), a[2]) || contains(row.term, a[3]))
                found.append(row);
        }
    }
    QList<qint64> ids;
    for (const auto &row : found)
        ids.append(row.id);
    return ids;
}

// SQLite binds at most 999 values in one statement; Jet refused long AND chains too, so a search with more
// words may fail, with the recordset's error and nothing written, but must not crash.
constexpr int BindLimit = 999;

QString checkAgainstFile(int place, const QString &text, const QList<TempGlossary::StoredRow> &rows, int *refused)
{
    QList<qint64> ids;
    try {
        Recordset rs;
        rs.Open(build(place, text).query, store::ConnectionString(), 1, 3, 1);
        while (!rs.Eof()) {
            ids.append(rs.Fields("ID").Value().toLongLong());
            rs.MoveNext();
        }
    } catch (const DbError &e) {
        if (place <= FindDefinition && text.count(u' ') >= BindLimit) {
            ++*refused;
            return QString();
        }
        return QStringLiteral("errore %1 %2").arg(e.number()).arg(e.description());
    }
    if (place >= SimilarDefinition)
        std::sort(ids.begin(), ids.end());
    const QList<qint64> expected = reference(place, text, rows);
    if (ids == expected)
        return QString();
    QStringList got, want;
    for (qint64 id : ids)
        got.append(QString::number(id));
    for (qint64 id : expected)
        want.append(QString::number(id));
    return QStringLiteral("trovati [%1], attesi [%2]").arg(got.join(u','), want.join(u','));
}

QList<GlossaryFile::Row> sampleRows(QRandomGenerator &rng)
{
    const QString astral = QStringLiteral("😀");
    QList<GlossaryFile::Row> rows = {
        {"l'abito", "veste; l'abito non fa il monaco"},
        {"50%", "metà -- o quasi /* commento */"},
        {"a_b", "con il trattino basso"},
        {"CITTÀ", "capoluogo di provincia"},
        {"\"virgolette\"", "testo \"citato\" e 'apici'"},
        {"nul", "prima" + ch(0) + "dopo"},
        // An astral character across the 20th character, from either end.
        {"inizio astrale", QString(19, u'a') + astral + "b"},
        {"fine astrale", "b" + astral + QString(19, u'a')},
        {"Straße", "ß si piega in ss"},
        {"ΣΟΦΊΑ", "σοφία, ς finale"},
    };
    for (int i = 0; i < 30; ++i) {
        QString term = randomText(rng, storedPieces(), 5);
        if (term.isEmpty())
            term = QStringLiteral("x");
        rows.append({term, randomText(rng, storedPieces(), 40)});
    }
    return rows;
}

int failureNumber(const QString &query)
{
    try {
        Recordset rs;
        rs.Open(query, store::ConnectionString(), 1, 3, 1);
        if (rs.isOpen())
            return 0;
    } catch (const DbError &e) {
        return e.number();
    }
    return 0;
}

} // namespace

class TestQueryText : public QObject {
    Q_OBJECT

    quint32 m_seed = 20240611;
    int m_caseCount = 3000;
    QStringList m_cases;
    QStringList m_megabytes;
    // One file for the whole table of refused texts: none of them may touch it, and keying a new file
    // for each would cost more than all the checks.
    std::unique_ptr<TempGlossary> m_untouched;

    void searchFile(const QList<GlossaryFile::Row> &written, const QList<std::pair<QString, int>> &sample)
    {
        TempGlossary g;
        g.add(written);
        RawGlossary raw(g.file());
        const QList<TempGlossary::StoredRow> rows = raw.rows();
        QCOMPARE(rows.size(), written.size());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].term, written[i].term);
            QCOMPARE(rows[i].definition, written[i].definition);
        }
        const QByteArray before = Files::bytesOf(g.file());
        int refused = 0;
        for (const auto &[text, place] : sample) {
            const QString problem = checkAgainstFile(place, text, rows, &refused);
            if (!problem.isEmpty())
                QFAIL(qPrintable(QStringLiteral("%1, testo \"%2\": %3").arg(placeNames[place], show(text), problem)));
        }
        if (refused > 0)
            qInfo("%d ricerche oltre %d parole rifiutate con un errore", refused, BindLimit);
        QCOMPARE(raw.rows(), rows);
        QVERIFY(Files::bytesOf(g.file()) == before);
        QVERIFY(!QFile::exists(RawGlossary::journal(g.file())));
    }

private slots:
    void initTestCase()
    {
        const FuzzRun run = FuzzRun::fromEnvironment(m_seed, m_caseCount);
        m_seed = run.seed;
        m_caseCount = run.cases;

        QRandomGenerator rng(m_seed);
        for (int i = 0; i < m_caseCount; ++i)
            m_cases.append(randomTypedText(rng));
        m_megabytes = {megabyteOf(rng, false), QString(1 << 20, u'\''), QStringLiteral("%_").repeated(1 << 19),
            megabyteOf(rng, true)};
    }

    void typedTextStaysInItsLiteral()
    {
        for (int i = 0; i < m_cases.size(); ++i) {
            for (int place = 0; place < PlaceCount; ++place) {
                const QString problem = checkTranslation(place, m_cases[i]);
                if (!problem.isEmpty())
                    QFAIL(qPrintable(QStringLiteral("caso %1, %2, testo \"%3\": %4")
                                         .arg(i)
                                         .arg(placeNames[place], show(m_cases[i]), problem)));
            }
        }
        for (int i = 0; i < m_megabytes.size(); ++i) {
            for (int place = 0; place < PlaceCount; ++place) {
                const QString problem = checkTranslation(place, m_megabytes[i]);
                if (!problem.isEmpty())
                    QFAIL(qPrintable(QStringLiteral("megabyte %1, %2: %3").arg(i).arg(placeNames[place], problem)));
            }
        }
    }

    void idQueriesCarryOnlyTheNumber()
    {
        QRandomGenerator rng(m_seed);
        const CatalogQuery::Sql rowTwin = glossary::parse(store::QueryRowById(1)).toSql();
        const CatalogQuery::Sql deleteTwin = glossary::parse(store::QueryDeleteById(1)).toSql();
        for (int i = 0; i < 200; ++i) {
            const qint64 id = i < 100 ? qint64(rng.bounded(32768)) : qint64(rng.generate64() >> 1);
            const CatalogQuery row = glossary::parse(store::QueryRowById(id));
            QCOMPARE(row.kind, CatalogQuery::Select);
            QCOMPARE(row.toSql().text, rowTwin.text);
            QCOMPARE(row.toSql().parameters, QVariantList({QVariant(id)}));
            const CatalogQuery del = glossary::parse(store::QueryDeleteById(id));
            QCOMPARE(del.kind, CatalogQuery::Delete);
            QCOMPARE(del.toSql().text, deleteTwin.text);
            QCOMPARE(del.toSql().parameters, QVariantList({QVariant(id)}));
        }
    }

    // A sample of the texts through a real file: nothing crashes, nothing is written, and the rows found
    // are the rows that a plain scan with the same like finds.
    void searchesInTheFileMatchAPlainScan()
    {
        QRandomGenerator rng(m_seed);
        QList<std::pair<QString, int>> sample;
        for (int i = 0; i < m_cases.size(); i += 50)
            sample.append({m_cases[i], (i / 50) % PlaceCount});
        // The most words one statement can bind, and one more.
        for (const int words : {BindLimit, BindLimit + 1}) {
            QStringList w;
            for (int i = 0; i < words; ++i)
                w.append(randomText(rng, typedPieces(), 2).remove(u' '));
            sample.append({w.join(u' '), FindTerm});
            sample.append({w.join(u' '), FindDefinition});
        }
        searchFile(sampleRows(rng), sample);
    }

    // Pasted megabytes take the same road; a small file keeps the scan of each row short.
    void megabytesInTheFile()
    {
        searchFile({{"l'abito", "veste"}, {"città", "àèìòù 😀 %_'"}, {"a", QString(100, u'\'')}},
            {{m_megabytes[0], FindDefinition}, {m_megabytes[1], SimilarDefinition}, {m_megabytes[2], FindTerm},
                {m_megabytes[3], FindTerm}, {m_megabytes[3], SimilarTerm}});
    }

    void cleanupTestCase()
    {
        if (m_untouched)
            QCOMPARE(m_untouched->rows().size(), 2);
        m_untouched.reset();
    }

    void otherTextsAreRefused_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("number");
        const int malformed = DbError::MalformedQuery, noField = DbError::NoSuchField;
        QTest::newRow("two selects") << "Select * from Tbl_Zorvane; Select * from Tbl_Zorvane" << malformed;
        QTest::newRow("delete after a search")
            << "Select * from Tbl_Zorvane WHERE Parola like 'a' ; DELETE * from Tbl_Zorvane WHERE ID  = 1" << malformed;
        QTest::newRow("drop after the order")
            << "Select * from Tbl_Zorvane WHERE Parola like '%a%' ORDER by Parola; DROP TABLE Tbl_Zorvane" << malformed;
        QTest::newRow("statement after NUL")
            << "Select * from Tbl_Zorvane" + ch(0) + "; DELETE * from Tbl_Zorvane WHERE ID  = 1" << malformed;
        QTest::newRow("full-width semicolon") << "Select * from Tbl_Zorvane；DROP TABLE Tbl_Zorvane" << malformed;
        QTest::newRow("attach") << "ATTACH DATABASE '/tmp/altro.db' AS altro" << malformed;
        QTest::newRow("attach after select") << "Select * from Tbl_Zorvane ATTACH DATABASE 'x' AS y" << malformed;
        QTest::newRow("pragma key") << "PRAGMA key = 'ALTRA'" << malformed;
        QTest::newRow("pragma rekey") << "PRAGMA rekey = ''" << malformed;
        QTest::newRow("line comment") << "Select * from Tbl_Zorvane where ID =1 -- or ID = 2" << malformed;
        QTest::newRow("block comment") << "Select * from Tbl_Zorvane /* x */ where ID =1" << malformed;
        QTest::newRow("update") << "Update Tbl_Zorvane set Parola = 'x' where ID =1" << malformed;
        QTest::newRow("insert") << "Insert into Tbl_Zorvane (Parola, Definizione) values ('x', 'y')" << malformed;
        QTest::newRow("drop") << "Drop table Tbl_Zorvane" << malformed;
        QTest::newRow("vacuum") << "VACUUM" << malformed;
        QTest::newRow("delete without where") << "Delete * from Tbl_Zorvane" << malformed;
        QTest::newRow("union") << "Select * from Tbl_Zorvane WHERE Parola like 'a' union Select * from Tbl_Zorvane"
                               << malformed;
        QTest::newRow("system table") << "Select * from sqlite_master" << malformed;
        QTest::newRow("two tables") << "Select * from Tbl_Zorvane, sqlite_master" << malformed;
        QTest::newRow("quoted table") << "Select * from \"Tbl_Zorvane\"" << malformed;
        QTest::newRow("bracketed table") << "Select * from [Tbl_Zorvane]" << malformed;
        QTest::newRow("look-alike letter") << "Sеlect * from Tbl_Zorvane" << malformed;
        QTest::newRow("named columns") << "Select ID from Tbl_Zorvane" << malformed;
        QTest::newRow("parameter mark") << "Select * from Tbl_Zorvane WHERE Parola like ?1" << malformed;
        QTest::newRow("named parameter") << "Select * from Tbl_Zorvane WHERE Parola like :x" << malformed;
        QTest::newRow("hex literal") << "Select * from Tbl_Zorvane WHERE Parola like X'41'" << malformed;
        QTest::newRow("double-quoted literal") << "Select * from Tbl_Zorvane WHERE Parola like \"a\"" << malformed;
        QTest::newRow("unterminated literal") << "Select * from Tbl_Zorvane WHERE Parola like '%a" << malformed;
        QTest::newRow("escape clause") << "Select * from Tbl_Zorvane WHERE Parola like 'a' ESCAPE '!'" << malformed;
        QTest::newRow("glob") << "Select * from Tbl_Zorvane WHERE Parola glob 'a'" << malformed;
        QTest::newRow("subquery") << "Select * from Tbl_Zorvane where ID =(Select * from Tbl_Zorvane)" << malformed;
        QTest::newRow("minus apart from its number") << "Select * from Tbl_Zorvane where ID =- 1" << malformed;
        QTest::newRow("empty") << "" << malformed;
        QTest::newRow("blanks") << "  \t " << malformed;
        QTest::newRow("unknown column") << "Select * from Tbl_Zorvane WHERE Nome like 'a'" << noField;
        QTest::newRow("rowid") << "Select * from Tbl_Zorvane where rowid = 1" << noField;
        QTest::newRow("function of ours") << "Select * from Tbl_Zorvane WHERE zv_like(Parola, 'a') = 1" << noField;
        QTest::newRow("extension loading") << "Select * from Tbl_Zorvane WHERE load_extension('x') like 'a'" << noField;
        QTest::newRow("always true") << "Select * from Tbl_Zorvane WHERE Parola like 'a' or 1 = 1" << noField;
    }

    void otherTextsAreRefused()
    {
        QFETCH(QString, query);
        QFETCH(int, number);
        if (!m_untouched)
            m_untouched = std::make_unique<TempGlossary>(
                std::initializer_list<GlossaryFile::Row> {{"uno", "primo"}, {"due", "secondo"}});
        store::setAppPath(m_untouched->folder());
        const QString file = m_untouched->file();
        const QByteArray before = Files::bytesOf(file);
        QCOMPARE(failureNumber(query), number);
        QVERIFY(Files::bytesOf(file) == before);
        QVERIFY(!QFile::exists(RawGlossary::journal(file)));
    }
};

QTEST_GUILESS_MAIN(TestQueryText)
#include "tst_querytext.moc"
