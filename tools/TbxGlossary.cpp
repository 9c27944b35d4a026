#include "TbxGlossary.h"

#include "ExportError.h"
#include "InputError.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <optional>

namespace {

using GlossaryFile::Record;

const QString Kind = QStringLiteral("TBX");
const QString Namespace = QStringLiteral("urn:iso:std:iso:30042:ed-2");

struct Term {
    std::optional<QString> text;
    std::optional<QString> definition;
};

struct Language {
    QString code;
    QList<Term> terms;
    std::optional<QString> definition;
};

struct Entry {
    std::optional<QString> definition;
    QList<Language> languages;
};

// "it", "it-IT" and "IT_ch" are all Italian: languages are told apart by their first subtag.
QString primaryTag(const QString &code)
{
    return QString(code).replace(u'_', u'-').section(u'-', 0, 0).toLower();
}

[[noreturn]] void malformed(const QXmlStreamReader &xml)
{
    throw InputError(int(xml.lineNumber()),
                     xml.error() == QXmlStreamReader::PrematureEndOfDocumentError
                         ? QStringLiteral("il file finisce prima che tutti gli elementi XML siano chiusi")
                         : QStringLiteral("XML non ben formato alla colonna %1").arg(xml.columnNumber()),
                     Kind);
}

bool isEntry(QStringView name)
{
    return name == u"conceptEntry" || name == u"termEntry";
}

bool isLanguage(QStringView name)
{
    return name == u"langSec" || name == u"langSet";
}

bool isTermGroup(QStringView name)
{
    return name == u"termSec" || name == u"tig" || name == u"ntig";
}

// The dca style writes <descrip type="definition">; the dct style names the element after the category.
bool isDefinition(const QXmlStreamReader &xml)
{
    return (xml.name() == u"descrip" && xml.attributes().value(QLatin1StringView("type")) == u"definition")
        || xml.name() == u"definition";
}

// From just after an entry's start tag to its end tag.
Entry readEntry(QXmlStreamReader &xml, const QString &fileLanguage)
{
    Entry entry;
    qsizetype language = -1;
    bool inGroup = false;
    qsizetype groupTerm = -1;
    std::optional<QString> groupDefinition;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (isEntry(xml.name()))
                break;
            if (isLanguage(xml.name())) {
                language = -1;
            } else if (isTermGroup(xml.name())) {
                if (language >= 0 && groupTerm >= 0)
                    entry.languages[language].terms[groupTerm].definition = groupDefinition;
                else if (language >= 0)
                    entry.languages[language].terms.append({std::nullopt, groupDefinition});
                inGroup = false;
                groupTerm = -1;
                groupDefinition.reset();
            }
        } else if (token == QXmlStreamReader::StartElement) {
            if (isLanguage(xml.name())) {
                const QString code = xml.attributes().value(QLatin1StringView("xml:lang")).toString();
                entry.languages.append({code.isEmpty() ? fileLanguage : code, {}, {}});
                language = entry.languages.size() - 1;
            } else if (isTermGroup(xml.name())) {
                inGroup = true;
            } else if (xml.name() == u"term" && language >= 0) {
                QList<Term> &terms = entry.languages[language].terms;
                terms.append({xml.readElementText(QXmlStreamReader::IncludeChildElements), {}});
                if (inGroup)
                    groupTerm = terms.size() - 1;
            } else if (isDefinition(xml)) {
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                std::optional<QString> &slot = inGroup          ? groupDefinition
                                               : language >= 0 ? entry.languages[language].definition
                                                               : entry.definition;
                if (!slot)
                    slot = text;
            }
        }
    }
    return entry;
}

// XML 1.0 has no way to write the other control characters, not even escaped. (U+FFFE and U+FFFF, which it
// lacks too, never come out of SQLite: it hands them over as U+FFFD.)
std::optional<char16_t> outsideXml(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r')
            return u;
    }
    return std::nullopt;
}

void checkForXml(qint64 id, const QString &text, const char *what)
{
    if (const std::optional<char16_t> c = outsideXml(text))
        throw ExportError(id, QStringLiteral("la %1 contiene il carattere U+%2, che XML non può contenere")
                                  .arg(what)
                                  .arg(QString::number(*c, 16).toUpper().rightJustified(4, u'0')));
}

// A CR written as such would come back as LF, since XML reads every line end as LF.
void writeText(QXmlStreamWriter &xml, const QString &text)
{
    const QStringList parts = text.split(u'\r');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            xml.writeEntityReference(QStringLiteral("#13"));
        xml.writeCharacters(parts[i]);
    }
}

} // namespace

namespace TbxGlossary {

Parsed parseTbx(const QByteArray &bytes, const std::function<void(qsizetype, qsizetype)> &progress)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement()) {
        if (xml.hasError())
            malformed(xml);
        throw InputError(int(xml.lineNumber()), QStringLiteral("il file non contiene elementi XML"), Kind);
    }
    if (xml.name() != u"tbx" && xml.name() != u"martif")
        throw InputError(int(xml.lineNumber()),
                         QStringLiteral("l'elemento principale è <%1>: un file TBX comincia con <tbx> o, nella "
                                        "versione 2, con <martif>")
                             .arg(xml.name()),
                         Kind);
    const QString fileLanguage = xml.attributes().value(QLatin1StringView("xml:lang")).toString();
    const qsizetype lines = bytes.count('\n') + 1;
    QList<Entry> entries;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && isEntry(xml.name())) {
            entries.append(readEntry(xml, fileLanguage));
            if (progress)
                progress(std::min<qsizetype>(xml.lineNumber(), lines), lines);
        }
    }
    if (xml.hasError())
        malformed(xml);

    QStringList languages;
    for (const Entry &entry : entries) {
        for (const Language &language : entry.languages) {
            if (!languages.contains(primaryTag(language.code)))
                languages.append(primaryTag(language.code));
        }
    }
    Parsed parsed;
    parsed.language = languages.contains(u"it") ? QStringLiteral("it") : languages.value(0);
    if (languages.size() > 1 && parsed.language != u"it")
        throw InputError(0,
                         QStringLiteral("contiene le lingue %1 ma non l'italiano (it): non si sa quale importare")
                             .arg(languages.join(QStringLiteral(", "))),
                         Kind);
    for (const Entry &entry : entries) {
        const qsizetype before = parsed.rows.size();
        for (const Language &language : entry.languages) {
            if (primaryTag(language.code) != parsed.language)
                continue;
            for (const Term &term : language.terms) {
                const std::optional<QString> definition =
                    term.definition ? term.definition : language.definition ? language.definition : entry.definition;
                parsed.rows.append({0, term.text, definition});
            }
        }
        if (parsed.rows.size() == before)
            ++parsed.leftOut;
    }
    if (progress)
        progress(lines, lines);
    return parsed;
}

QByteArray writeTbx(const QList<Record> &records, const std::function<void(qsizetype, qsizetype)> &progress)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("tbx"));
    xml.writeDefaultNamespace(Namespace);
    xml.writeAttribute(QStringLiteral("type"), QStringLiteral("TBX-Basic"));
    xml.writeAttribute(QStringLiteral("style"), QStringLiteral("dca"));
    xml.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("it"));
    xml.writeStartElement(QStringLiteral("tbxHeader"));
    xml.writeStartElement(QStringLiteral("fileDesc"));
    xml.writeStartElement(QStringLiteral("sourceDesc"));
    xml.writeTextElement(QStringLiteral("p"), QStringLiteral("Glossario esportato da Zorvane"));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("text"));
    xml.writeStartElement(QStringLiteral("body"));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const Record &record = records[i];
        checkForXml(record.id, record.term.value_or(QString()), "parola");
        checkForXml(record.id, record.definition.value_or(QString()), "definizione");
        // An xml:id may not start with a digit.
        xml.writeStartElement(QStringLiteral("conceptEntry"));
        xml.writeAttribute(QStringLiteral("id"), QStringLiteral("c%1").arg(record.id));
        xml.writeStartElement(QStringLiteral("langSec"));
        xml.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("it"));
        if (record.definition) {
            xml.writeStartElement(QStringLiteral("descrip"));
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("definition"));
            writeText(xml, *record.definition);
            xml.writeEndElement();
        }
        xml.writeStartElement(QStringLiteral("termSec"));
        if (record.term) {
            xml.writeStartElement(QStringLiteral("term"));
            writeText(xml, *record.term);
            xml.writeEndElement();
        }
        xml.writeEndElement();
        xml.writeEndElement();
        xml.writeEndElement();
        if (progress && (i % 1024 == 1023 || i + 1 == records.size()))
            progress(i + 1, records.size());
    }
    xml.writeEndDocument();
    return out;
}

} // namespace TbxGlossary
