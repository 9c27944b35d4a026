#include "tools/TbxGlossary.h"

#include "tools/ExportError.h"
#include "tools/InputError.h"
#include "tools/TextFile.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
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

// A TBX entry goes about ten elements deep; hundreds are no terminology, only a way to exhaust the reader.
constexpr int MaxDepth = 100;

// Every token of the file comes through here: an entity that the file does not define (it names a document
// type kept elsewhere, which is never read) is refused rather than dropped, and so is nesting past MaxDepth.
class Reader : public QXmlStreamReader
{
public:
    using QXmlStreamReader::QXmlStreamReader;

    TokenType step()
    {
        const TokenType token = readNext();
        if (token == StartElement && ++m_depth > MaxDepth)
            throw InputError(int(lineNumber()),
                QStringLiteral("elementi annidati più di %1 livelli: un file TBX ne usa una decina").arg(MaxDepth),
                Kind);
        if (token == EndElement)
            --m_depth;
        if (token == EntityReference)
            throw InputError(int(lineNumber()),
                QStringLiteral("l'entità &%1; non è definita: un file TBX usa solo &amp; &lt; &gt; &quot; "
                               "&apos; e i riferimenti numerici come &#232;")
                    .arg(name()),
                Kind);
        return token;
    }

private:
    int m_depth = 0;
};

// The encoding named by an XML declaration at the start of the file.
const QRegularExpression Declaration(
    QStringLiteral("^(?:\\x{EF}\\x{BB}\\x{BF})?<\\?xml\\s[^>]*?encoding\\s*=\\s*[\"']([A-Za-z][A-Za-z0-9._-]*)[\"']"));

// The text of the file, in the encoding that its byte order mark or the NULs around its first '<' show, else
// in the one its XML declaration names, else in UTF-8. Decoded here rather than by QXmlStreamReader so that
// the document type can be checked in the very text that the reader parses.
QString documentText(const QByteArray &bytes)
{
    const std::optional<QStringConverter::Encoding> shown = QStringConverter::encodingForData(bytes, u'<');
    QByteArray named;
    if (!shown || *shown == QStringConverter::Utf8) {
        named = Declaration.match(QString::fromLatin1(bytes.left(512))).captured(1).toLatin1();
        if (named.isEmpty() || QStringConverter::encodingForName(named) == QStringConverter::Utf8) {
            TextFile::checkUtf8(bytes, QStringLiteral("il file XML è in UTF-8 (non dichiara un'altra codifica)"), Kind);
            return QStringDecoder(QStringConverter::Utf8)(bytes);
        }
    }
    QStringDecoder decoder = named.isEmpty() ? QStringDecoder(*shown, QStringDecoder::Flag::Stateless)
                                             : QStringDecoder(named.constData(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        throw InputError(1, QStringLiteral("il file dichiara la codifica %1, che non si conosce").arg(named), Kind);
    const QString text = decoder(bytes);
    if (decoder.hasError()) {
        const qsizetype bad = text.indexOf(QChar::ReplacementCharacter);
        throw InputError(int(QStringView(text).first(bad < 0 ? text.size() : bad).count(u'\n')) + 1,
            QStringLiteral("il testo non è nella codifica %1").arg(decoder.name()), Kind);
    }
    return text;
}

// A TBX element carries a handful of attributes, and QXmlStreamReader compares each with all the others.
constexpr int MaxAttributes = 64;

// Refuses what QXmlStreamReader would spend time or memory on out of proportion to the file, before it reads
// any of it:
// - A document type with declarations of its own ([...]): the reader expands its parameter entities while it
//   reads them, and it takes a document type anywhere, even inside an element. TBX needs no declarations; a
//   document type that only names a file elsewhere, as TBX 2 files do, is let through, since that file is
//   never opened.
// - A start tag with more than MaxAttributes attributes. A tag ends at its first '>' outside quotes and holds
//   no '<', so every '<' starts a fresh count and each character is looked at about once.
void checkMarkup(QStringView text)
{
    static const QString Doctype = QStringLiteral("<!DOCTYPE");
    const auto refuse
        = [&](qsizetype at, const QString &why) { throw InputError(int(text.first(at).count(u'\n')) + 1, why, Kind); };
    for (qsizetype at = text.indexOf(u'<'); at >= 0;) {
        const bool doctype = text.sliced(at).startsWith(Doctype);
        const bool tag
            = at + 1 < text.size() && (text[at + 1].isLetter() || text[at + 1] == u'_' || text[at + 1] == u':');
        QChar quote;
        int equals = 0;
        qsizetype i = at + 1;
        for (; (doctype || tag) && i < text.size() && (!quote.isNull() || text[i] != u'>'); ++i) {
            const QChar c = text[i];
            if (tag && c == u'<')
                break;
            if (!quote.isNull())
                quote = c == quote ? QChar() : quote;
            else if (c == u'"' || c == u'\'')
                quote = c;
            else if (doctype && c == u'[')
                refuse(at,
                    QStringLiteral("<!DOCTYPE con dichiarazioni proprie (entità, attributi): un file TBX non ne "
                                   "ha bisogno e non viene letto"));
            else if (tag && c == u'=' && ++equals > MaxAttributes)
                refuse(at,
                    QStringLiteral("un elemento con più di %1 attributi: un elemento TBX ne ha pochi")
                        .arg(MaxAttributes));
        }
        at = text.indexOf(u'<', i);
    }
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

bool isXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Part of the text of an element laid out in elements. Programs that write TBX a line for each element indent
// only such content, so blanks that hold a line break and stand between tags, or at the edges of an element's
// text, are their indentation and not text; any other blank is.
QString withoutIndentation(QStringView run, bool afterStartTag, bool beforeEndTag)
{
    qsizetype first = 0;
    qsizetype last = run.size();
    while (first < last && isXmlSpace(run[first]))
        ++first;
    while (last > first && isXmlSpace(run[last - 1]))
        --last;
    if (first == run.size())
        return run.contains(u'\n') ? QString() : run.toString();
    if (!afterStartTag || !run.first(first).contains(u'\n'))
        first = 0;
    if (!beforeEndTag || !run.sliced(last).contains(u'\n'))
        last = run.size();
    return run.sliced(first, last - first).toString();
}

// From just after the start tag of a term or a definition to its end tag: the text inside, with that of the
// elements it holds, read in a loop however deep they go. Text alone is taken as it is, line breaks and all,
// so that what the tool writes comes back exactly; text laid out in elements loses its indentation, and a
// paragraph (<p>) starts a line.
QString readText(Reader &xml)
{
    QString text;
    QString run; // the characters since the last tag
    bool inElements = false;
    bool afterStartTag = true;
    for (int depth = 0; !xml.atEnd();) {
        const QXmlStreamReader::TokenType token = xml.step();
        if (token == QXmlStreamReader::Characters) {
            run += xml.text();
            continue;
        }
        const bool start = token == QXmlStreamReader::StartElement;
        if (!start && token != QXmlStreamReader::EndElement)
            continue;
        inElements = inElements || start;
        text += inElements ? withoutIndentation(run, afterStartTag, !start) : run;
        run.clear();
        if (start && xml.name() == u"p" && !text.isEmpty() && !text.endsWith(u'\n'))
            text += u'\n';
        afterStartTag = start;
        if (start)
            ++depth;
        else if (depth-- == 0)
            break;
    }
    return text;
}

// From just after an entry's start tag to its end tag.
Entry readEntry(Reader &xml, const QString &fileLanguage)
{
    Entry entry;
    qsizetype language = -1;
    bool inGroup = false;
    // The group's term, by its language and its place there: the language may have ended before the group.
    qsizetype groupLanguage = -1;
    qsizetype groupTerm = -1;
    std::optional<QString> groupDefinition;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.step();
        if (token == QXmlStreamReader::EndElement) {
            if (isEntry(xml.name()))
                break;
            if (isLanguage(xml.name())) {
                language = -1;
            } else if (isTermGroup(xml.name())) {
                if (groupTerm >= 0)
                    entry.languages[groupLanguage].terms[groupTerm].definition = groupDefinition;
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
                terms.append({ readText(xml), {} });
                if (inGroup) {
                    groupLanguage = language;
                    groupTerm = terms.size() - 1;
                }
            } else if (isDefinition(xml)) {
                const QString text = readText(xml);
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
    const QString text = documentText(bytes);
    checkMarkup(text);
    Reader xml(text);
    QXmlStreamReader::TokenType token = QXmlStreamReader::NoToken;
    while (!xml.atEnd() && token != QXmlStreamReader::StartElement)
        token = xml.step();
    if (token != QXmlStreamReader::StartElement) {
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
    const qsizetype lines = text.count(u'\n') + 1;
    QList<Entry> entries;
    while (!xml.atEnd()) {
        if (xml.step() == QXmlStreamReader::StartElement && isEntry(xml.name())) {
            entries.append(readEntry(xml, fileLanguage));
            if (progress)
                progress(std::min<qsizetype>(xml.lineNumber(), lines), lines);
        }
    }
    if (xml.hasError())
        malformed(xml);

    // In the order met; the set keeps the count of languages from multiplying the time.
    QStringList languages;
    QSet<QString> seen;
    for (const Entry &entry : entries) {
        for (const Language &language : entry.languages) {
            const QString tag = primaryTag(language.code);
            if (!seen.contains(tag)) {
                seen.insert(tag);
                languages.append(tag);
            }
        }
    }
    Parsed parsed;
    parsed.language = seen.contains(QStringLiteral("it")) ? QStringLiteral("it") : languages.value(0);
    if (languages.size() > 1 && parsed.language != u"it") {
        constexpr qsizetype Named = 10;
        const QString others
            = languages.size() > Named ? QStringLiteral(" e altre %1").arg(languages.size() - Named) : QString();
        throw InputError(0,
            QStringLiteral("contiene le lingue %1%2 ma non l'italiano (it): non si sa quale importare")
                .arg(languages.first(std::min(languages.size(), Named)).join(QStringLiteral(", ")), others),
            Kind);
    }
    for (const Entry &entry : entries) {
        const qsizetype before = parsed.rows.size();
        bool inLanguage = false;
        for (const Language &language : entry.languages) {
            if (primaryTag(language.code) != parsed.language)
                continue;
            inLanguage = true;
            for (const Term &term : language.terms) {
                const std::optional<QString> definition =
                    term.definition ? term.definition : language.definition ? language.definition : entry.definition;
                parsed.rows.append({0, term.text, definition});
            }
        }
        if (!inLanguage)
            ++parsed.withoutLanguage;
        else if (parsed.rows.size() == before)
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
