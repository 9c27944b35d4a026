#include "db/search/TermListing.h"

int TermListing::Table::add(qint64 id, const QVariant &term)
{
    if (term.isNull())
        return added(id, std::nullopt);
    const qsizetype at = text.size();
    text.append(term.toString().toUtf8());
    return added(id, at);
}

int TermListing::Table::added(qint64 id, std::optional<qsizetype> at)
{
    entries.push_back({id, at ? *at : -1 - text.size()});
    return int(entries.size()) - 1;
}

QByteArrayView TermListing::Table::utf8(size_t row) const
{
    const qsizetype at = entries[row].at;
    const qsizetype end = row + 1 < entries.size() ? entries[row + 1].at : text.size();
    // A null's place, and the next row's, may be kept negated.
    const auto place = [](qsizetype p) { return p < 0 ? -1 - p : p; };
    return QByteArrayView(text.constData() + place(at), place(end) - place(at));
}

QString TermListing::term(qsizetype i) const
{
    return QString::fromUtf8(m_table->utf8(size_t(m_rows[i])));
}
