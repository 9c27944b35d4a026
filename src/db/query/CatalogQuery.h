#pragma once

#include <QString>
#include <QVariantList>

#include <array>

class Connection;

// How a file spells the one table the dialect reads and its three columns, in the order of
// CatalogQuery::Column; the glossary layer says which.
struct TableNames {
    QString table;
    std::array<QString, 3> columns;
};

// The query dialect of the glossary catalogue, parsed once into one structure that the file and the
// in-memory copy both read. Only the statement shapes the catalogue uses are accepted, and anything else
// (a second statement, an unknown word) is refused as a malformed query; in SQL every literal becomes a
// bound parameter, so a typed text can never leave its literal.
struct CatalogQuery {
    enum Kind { Select, Delete };
    enum Column { Id, Term, Definition };

    // What a condition compares: a column, or its first or last characters.
    struct Operand {
        enum Function { Whole, Left, Right };
        Column column = Term;
        Function function = Whole;
        qint64 count = 0;
    };
    struct Predicate {
        Operand operand;
        bool isLike = true; // else "= number"
        QString pattern;
        qint64 number = 0;
    };

    // The statement for SQLite, with the values of its "?N" marks.
    struct Sql {
        QString text;
        QVariantList parameters;
    };

    Kind kind = Select;
    // The condition as alternatives of conjunctions (AND binds tighter than OR); empty: every row.
    QList<QList<Predicate>> where;
    bool ordered = false;
    Column orderBy = Term;

    // The names the text must use, kept for the SQL that toSql writes.
    TableNames names;

    static CatalogQuery parse(const QString &text, const TableNames &names);
    Sql toSql() const;
    // Gives a connection the functions that toSql's statements call: the dialect's like, Left, Right and
    // sort order, which SQLite's own do not match.
    static void addFunctions(const Connection &connection);
};
