#pragma once

#include <QString>

// The glossary's one connection string and its catalogue of query texts. Pure functions: nothing here
// opens the file.
namespace store {

// The folder of the glossary and its export: the executable's, until the start points it at the one
// GlossaryPlace names; tests and the benchmark point it at a folder of their own.
QString AppPath();
void setAppPath(const QString &folder);

QString ConnectionString();

// Every apostrophe doubled; nothing else changes, so "%" and "_" stay wildcards.
QString escape(const QString &value);

QString QueryAllTerms();
QString QueryAllRows();
QString QueryRowById(qint64 id);
QString QueryDeleteById(qint64 id);
// From the whole text of a search box: each blank starts a further word.
QString QueryFindTerm(const QString &searchText);
QString QueryFindDefinition(const QString &searchText);
QString QuerySimilar(const QString &definition, const QString &first20, const QString &last20, const QString &term);

} // namespace store
