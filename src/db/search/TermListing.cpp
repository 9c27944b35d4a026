#include "db/search/TermListing.h"

int TermListing::Table::add(qint64 id, const QVariant &term)
{
    const int row = int(entries.size());
    if (term.isNull()) {
        entries.push_back({id, text.size(), -1});
    } else {
        const QString value = term.toString();
        entries.push_back({id, text.size(), value.size()});
        text.append(value);
    }
    return row;
}

QString TermListing::term(qsizetype i) const
{
    const Table::Entry &e = entry(i);
    return e.length < 0 ? QString() : QString(m_table->text.constData() + e.at, e.length);
}
