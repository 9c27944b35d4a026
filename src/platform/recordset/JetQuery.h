#pragma once

#include <QString>
#include <QVariantList>

// The query dialect of the glossary catalogue, translated to SQLite. Only the statement shapes the
// catalogue uses are accepted; every literal becomes a bound parameter, so a typed text can never leave
// its literal, and anything else (a second statement, an unknown word) is refused as a malformed query.
struct JetQuery {
    enum Kind { Select, Delete };

    Kind kind = Select;
    QString sql;
    QVariantList parameters;

    static JetQuery translate(const QString &text);
};
