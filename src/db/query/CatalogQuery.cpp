#include "db/query/CatalogQuery.h"

#include "db/error/DbError.h"
#include "db/query/TextMatch.h"
#include "db/sqlite/Connection.h"

#include <QList>

#include <sqlcipher/sqlite3.h>

namespace {

struct Token {
    enum Type { Word, Number, Literal, Symbol, End };
    Type type;
    QString text;
};

[[noreturn]] void malformed(const QString &why)
{
    throw DbError(DbError::MalformedQuery, QStringLiteral("Errore di sintassi nella query: %1.").arg(why));
}

QList<Token> tokenize(const QString &text)
{
    QList<Token> tokens;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
            ++i;
        } else if (c == u'\'') {
            QString value;
            ++i;
            for (;;) {
                if (i >= n)
                    malformed(QStringLiteral("testo tra apici non chiuso"));
                if (text[i] == u'\'') {
                    if (i + 1 < n && text[i + 1] == u'\'') {
                        value.append(u'\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value.append(text[i++]);
            }
            tokens.append({Token::Literal, value});
        } else if ((c.isDigit() && c.unicode() < 0x80) ||
                   (c == u'-' && i + 1 < n && text[i + 1].isDigit() && text[i + 1].unicode() < 0x80)) {
            // An ID may be negative: the sign belongs to the number.
            const qsizetype start = i++;
            while (i < n && text[i].unicode() < 0x80 && text[i].isDigit())
                ++i;
            tokens.append({Token::Number, text.mid(start, i - start)});
        } else if ((c.unicode() < 0x80 && c.isLetter()) || c == u'_') {
            const qsizetype start = i;
            while (i < n && text[i].unicode() < 0x80 && (text[i].isLetterOrNumber() || text[i] == u'_'))
                ++i;
            tokens.append({Token::Word, text.mid(start, i - start)});
        } else if (c == u'*' || c == u'(' || c == u')' || c == u',' || c == u'=') {
            tokens.append({Token::Symbol, QString(c)});
            ++i;
        } else if (c == u';') {
            malformed(QStringLiteral("è ammessa una sola istruzione"));
        } else {
            malformed(QStringLiteral("carattere non previsto '%1'").arg(c));
        }
    }
    tokens.append({Token::End, QString()});
    return tokens;
}

class Parser {
public:
    Parser(QList<Token> tokens, const TableNames &names) : m_tokens(std::move(tokens)) { m_query.names = names; }

    CatalogQuery parse()
    {
        CatalogQuery &q = m_query;
        if (acceptWord(u"select")) {
            expectSymbol(u'*');
            expectWord(u"from");
            expectTable();
            if (acceptWord(u"where"))
                condition();
            if (acceptWord(u"order")) {
                expectWord(u"by");
                column(&m_query.orderBy);
                m_query.ordered = true;
            }
        } else if (acceptWord(u"delete")) {
            q.kind = CatalogQuery::Delete;
            acceptSymbol(u'*');
            expectWord(u"from");
            expectTable();
            if (!acceptWord(u"where"))
                malformed(QStringLiteral("un'eliminazione richiede WHERE"));
            condition();
        } else {
            malformed(QStringLiteral("sono ammesse solo Select e Delete"));
        }
        if (peek().type != Token::End)
            malformed(QStringLiteral("testo in più dopo la fine dell'istruzione"));
        return std::move(q);
    }

private:
    const Token &peek() const { return m_tokens[m_pos]; }

    bool acceptWord(QStringView word)
    {
        if (peek().type != Token::Word || peek().text.compare(word, Qt::CaseInsensitive) != 0)
            return false;
        ++m_pos;
        return true;
    }

    void expectWord(QStringView word)
    {
        if (!acceptWord(word))
            malformed(QStringLiteral("atteso %1").arg(word.toString().toUpper()));
    }

    bool acceptSymbol(QChar symbol)
    {
        if (peek().type != Token::Symbol || peek().text != symbol)
            return false;
        ++m_pos;
        return true;
    }

    void expectSymbol(QChar symbol)
    {
        if (!acceptSymbol(symbol))
            malformed(QStringLiteral("atteso '%1'").arg(symbol));
    }

    void expectTable()
    {
        if (!acceptWord(m_query.names.table))
            malformed(QStringLiteral("tabella sconosciuta"));
    }

    void column(CatalogQuery::Column *which)
    {
        for (int i = 0; i < 3; ++i) {
            if (acceptWord(m_query.names.columns[i])) {
                *which = CatalogQuery::Column(i);
                return;
            }
        }
        throw DbError(DbError::NoSuchField,
                      QStringLiteral("Campo sconosciuto '%1' nella query.").arg(peek().text));
    }

    qint64 number()
    {
        if (peek().type != Token::Number)
            malformed(QStringLiteral("atteso un numero"));
        bool ok = false;
        const qint64 value = m_tokens[m_pos++].text.toLongLong(&ok);
        if (!ok)
            malformed(QStringLiteral("numero troppo grande"));
        return value;
    }

    void operand(CatalogQuery::Operand *op)
    {
        if (acceptWord(u"Left"))
            op->function = CatalogQuery::Operand::Left;
        else if (acceptWord(u"Right"))
            op->function = CatalogQuery::Operand::Right;
        if (op->function == CatalogQuery::Operand::Whole)
            return column(&op->column);
        expectSymbol(u'(');
        column(&op->column);
        expectSymbol(u',');
        op->count = number();
        expectSymbol(u')');
    }

    void predicate()
    {
        CatalogQuery::Predicate p;
        operand(&p.operand);
        if (acceptWord(u"like")) {
            if (peek().type != Token::Literal)
                malformed(QStringLiteral("LIKE richiede un testo tra apici"));
            p.pattern = m_tokens[m_pos++].text;
        } else if (acceptSymbol(u'=')) {
            p.isLike = false;
            p.number = number();
        } else {
            malformed(QStringLiteral("atteso LIKE o ="));
        }
        m_query.where.last().append(p);
    }

    void condition()
    {
        m_query.where.append(QList<CatalogQuery::Predicate>());
        predicate();
        for (;;) {
            if (acceptWord(u"or"))
                m_query.where.append(QList<CatalogQuery::Predicate>());
            else if (!acceptWord(u"and"))
                break;
            predicate();
        }
    }

    CatalogQuery m_query;
    QList<Token> m_tokens;
    qsizetype m_pos = 0;
};

QStringView textArg(sqlite3_value *v)
{
    const auto *p = static_cast<const char16_t *>(sqlite3_value_text16(v));
    return QStringView(p, sqlite3_value_bytes16(v) / 2);
}

void resultText(sqlite3_context *ctx, QStringView s)
{
    sqlite3_result_text16(ctx, s.utf16(), int(s.size() * 2), SQLITE_TRANSIENT);
}

void likeFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_int(ctx, TextMatch::like(textArg(argv[0]), textArg(argv[1])) ? 1 : 0);
}

void leftFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    resultText(ctx, TextMatch::leftCharacters(textArg(argv[0]), sqlite3_value_int64(argv[1])));
}

void rightFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    resultText(ctx, TextMatch::rightCharacters(textArg(argv[0]), sqlite3_value_int64(argv[1])));
}

void sortKeyFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const QByteArray key = TextMatch::sortKey(textArg(argv[0]));
    sqlite3_result_blob(ctx, key.constData(), int(key.size()), SQLITE_TRANSIENT);
}

} // namespace

void CatalogQuery::addFunctions(const Connection &connection)
{
    sqlite3 *db = connection.handle();
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "zv_like", 2, flags, nullptr, likeFunction, nullptr, nullptr);
    sqlite3_create_function(db, "zv_left", 2, flags, nullptr, leftFunction, nullptr, nullptr);
    sqlite3_create_function(db, "zv_right", 2, flags, nullptr, rightFunction, nullptr, nullptr);
    sqlite3_create_function(db, "zv_sortkey", 1, flags, nullptr, sortKeyFunction, nullptr, nullptr);
}

CatalogQuery CatalogQuery::parse(const QString &text, const TableNames &names)
{
    return Parser(tokenize(text), names).parse();
}

CatalogQuery::Sql CatalogQuery::toSql() const
{
    Sql sql{(kind == Select ? QStringLiteral("SELECT * FROM \"%1\"") : QStringLiteral("DELETE FROM \"%1\""))
                .arg(names.table),
            {}};
    const auto column = [this](Column c) { return QStringLiteral("\"%1\"").arg(names.columns[c]); };
    QStringList alternatives;
    for (const QList<Predicate> &group : where) {
        QStringList conjuncts;
        for (const Predicate &p : group) {
            QString lhs = column(p.operand.column);
            if (p.operand.function != Operand::Whole)
                lhs = QStringLiteral("zv_%1(%2, %3)")
                          .arg(p.operand.function == Operand::Left ? QStringLiteral("left") : QStringLiteral("right"), lhs)
                          .arg(p.operand.count);
            sql.parameters.append(p.isLike ? QVariant(p.pattern) : QVariant(p.number));
            conjuncts.append((p.isLike ? QStringLiteral("zv_like(%1, ?%2)") : QStringLiteral("%1 = ?%2"))
                                 .arg(lhs).arg(sql.parameters.size()));
        }
        alternatives.append(conjuncts.join(QStringLiteral(" AND ")));
    }
    if (!alternatives.isEmpty())
        sql.text += QStringLiteral(" WHERE ") + alternatives.join(QStringLiteral(" OR "));
    // Equal terms keep the order in which they were stored.
    if (ordered)
        sql.text += QStringLiteral(" ORDER BY zv_sortkey(%1), %2").arg(column(orderBy), column(Id));
    return sql;
}
