#pragma once

#include <QByteArray>
#include <QStringView>

// Text comparisons that the query dialect promises: letters compare without regard to case for every
// alphabet, accented letters included, which SQLite's own LIKE and NOCASE do only for ASCII.
namespace TextMatch {

// `like` with "%" (any run, none included) and "_" (any one character); no escape character.
bool like(QStringView text, QStringView pattern);

// A key whose byte order is the reading order of an Italian glossary: letters without regard to case,
// an accented letter beside its plain letter; ties broken by accent, then by case.
QByteArray sortKey(QStringView text);

} // namespace TextMatch
