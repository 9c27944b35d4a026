#include "tools/CsvGlossary.h"

#include "tools/ExportError.h"
#include "tools/InputError.h"

#include <QScopeGuard>
#include <QStringDecoder>

#include <csv.h>

#include <algorithm>
#include <optional>

namespace {

using GlossaryFile::Record;

const QString Kind = QStringLiteral("CSV");

// Spreadsheets put nothing around fields, so every blank belongs to the field it stands in.
int noBlank(unsigned char)
{
    return 0;
}

// Only the header's names may have blanks around them ("Parola, Definizione").
int headerBlank(unsigned char c)
{
    return c == CSV_SPACE;
}

int headerBlankOrTab(unsigned char c)
{
    return c == CSV_SPACE || c == CSV_TAB;
}

// The first of the three separators on the header line; a header with none gets the comma and is refused
// for its names.
char separatorOf(const QString &text)
{
    for (const QChar c : text) {
        if (c == u'\n')
            break;
        if (c == u',' || c == u';' || c == u'\t')
            return char(c.unicode());
    }
    return ',';
}

bool isName(QStringView field, QStringView name)
{
    field = field.trimmed();
    if (field.size() >= 2 && field.startsWith(u'"') && field.endsWith(u'"'))
        field = field.sliced(1, field.size() - 2).trimmed();
    return field.compare(name, Qt::CaseInsensitive) == 0;
}

// How spreadsheets tell a formula or a command from a text; tab and CR too, as OWASP advises for CSV.
bool startsFormula(QChar c)
{
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

// How many apostrophes the text starts with when a formula's first character follows them, else -1: the
// guard against formulas is one more apostrophe, so a text that already starts so gets one too.
qsizetype apostrophesBeforeFormula(QStringView text)
{
    qsizetype n = 0;
    while (n < text.size() && text[n] == u'\'')
        ++n;
    return n < text.size() && startsFormula(text[n]) ? n : -1;
}

// QString::fromUtf8 would drop a U+FEFF at the start of a field as if it were a byte order mark.
QString fieldText(const QByteArray &utf8)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(utf8);
}

// A null field is one the file left empty without quotes: a missing text. Without the apostrophe a
// spreadsheet's guard put before a formula.
std::optional<QString> textOf(const QByteArray &field)
{
    if (field.isNull())
        return std::nullopt;
    QString text = fieldText(field);
    return apostrophesBeforeFormula(text) > 0 ? text.remove(0, 1) : text;
}

// What the libcsv callbacks gather. They are called from C, so a bad record is noted here and the
// byte loop stops, instead of throwing through the library.
struct Reader {
    Reader(const QByteArray &input, csv_parser &csv) : bytes(input), parser(csv) {}

    const QByteArray &bytes;
    csv_parser &parser;
    qsizetype pos = 0;  // the byte being fed
    int line = 1;       // the physical line that byte is on
    int recordLine = 1; // where the record being read started
    int blankLine = 0;  // the first of the blank lines read since the last record, if any
    bool headerSeen = false;
    bool crlfTail = false; // the next LF only completes the CRLF that ended the last record
    QList<QByteArray> fields;
    QList<Record> rows;
    std::optional<InputError> error;

    void fail(const QString &reason, int at = 0)
    {
        if (!error)
            error.emplace(at ? at : recordLine, reason, Kind);
    }

    void endRecord(int terminator)
    {
        if (error)
            return;
        if (terminator == CSV_LF && crlfTail) {
            crlfTail = false;
            recordLine = line + 1;
            return;
        }
        if (terminator == CSV_CR) {
            if (pos + 1 >= bytes.size() || bytes.at(pos + 1) != '\n')
                return fail(QStringLiteral("il record finisce con un CR senza LF: ogni riga deve finire con CRLF "
                                           "o con LF"));
            crlfTail = true;
        }
        const QList<QByteArray> record = std::exchange(fields, {});
        if (!headerSeen)
            checkHeader(record);
        else if (std::all_of(record.cbegin(), record.cend(), [](const QByteArray &f) { return f.isNull(); }))
            // Spreadsheets leave blank lines, or lines of bare separators, after the last row: only a record
            // after them makes them an error.
            blankLine = blankLine ? blankLine : recordLine;
        else if (blankLine)
            fail(QStringLiteral("riga vuota: ogni riga deve avere una parola e una definizione"), blankLine);
        else
            addRow(record);
        if (terminator == CSV_LF)
            recordLine = line + 1;
    }

    void checkHeader(const QList<QByteArray> &record)
    {
        headerSeen = true;
        csv_set_space_func(&parser, noBlank);
        if (record.size() == 2 && record[0].trimmed().compare("Parola", Qt::CaseInsensitive) == 0
            && record[1].trimmed().compare("Definizione", Qt::CaseInsensitive) == 0)
            return;
        fail(QStringLiteral("l'intestazione deve essere \"Parola\" e \"Definizione\", separate da una virgola, da un "
                            "punto e virgola o da una tabulazione"));
    }

    void addRow(const QList<QByteArray> &record)
    {
        if (record.size() == 1)
            return fail(QStringLiteral("manca la definizione: il record ha un solo campo"));
        if (record.size() != 2)
            return fail(QStringLiteral("il record ha %1 campi invece di 2 (Parola e Definizione)").arg(record.size()));
        // SQLite would keep a NUL, but the window reads text only up to it.
        if (record[0].contains('\0') || record[1].contains('\0'))
            return fail(QStringLiteral("il testo contiene un carattere nullo"));
        rows.append({0, textOf(record[0]), textOf(record[1])});
    }
};

// libcsv hands over an empty field without quotes as no data at all, which stays a null array.
void onField(void *data, size_t size, void *context)
{
    static_cast<Reader *>(context)->fields.append(data ? QByteArray(static_cast<const char *>(data), qsizetype(size))
                                                       : QByteArray());
}

void onRecord(int terminator, void *context)
{
    static_cast<Reader *>(context)->endRecord(terminator);
}

// A field that holds any separator a spreadsheet may take is quoted, an empty one too, since a missing text is
// written as nothing at all, and for a spreadsheet every field. There an apostrophe guards a formula; the plain
// dialect leaves formulas alone, but a text that already starts with apostrophes and a formula's character gets
// one more all the same, since reading takes one away.
void appendField(QByteArray &out, const std::optional<QString> &field, CsvGlossary::Dialect dialect)
{
    if (!field)
        return;
    const qsizetype apostrophes = apostrophesBeforeFormula(*field);
    const bool guarded = apostrophes > 0 || (apostrophes == 0 && dialect.forSpreadsheet);
    const QByteArray utf8 = (guarded ? QByteArrayLiteral("'") : QByteArray()) + field->toUtf8();
    const bool quoted = dialect.forSpreadsheet || utf8.isEmpty()
                        || std::any_of(utf8.cbegin(), utf8.cend(), [](char c) {
                               return c == ',' || c == ';' || c == '\t' || c == '"' || c == '\r' || c == '\n';
                           });
    if (!quoted) {
        out += utf8;
        return;
    }
    out += '"';
    out += QByteArray(utf8).replace('"', QByteArrayLiteral("\"\""));
    out += '"';
}

} // namespace

namespace CsvGlossary {

QList<Record> parseCsv(const QString &text, const std::function<void(qsizetype, qsizetype)> &progress)
{
    const char separator = separatorOf(text);
    const QByteArray bytes = text.toUtf8();
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL | CSV_EMPTY_IS_NULL) != 0)
        throw std::bad_alloc();
    const auto release = qScopeGuard([&] { csv_free(&parser); });
    csv_set_delim(&parser, separator);
    csv_set_space_func(&parser, separator == CSV_TAB ? headerBlank : headerBlankOrTab);

    // One byte at a time, so that each callback knows the line it was reached on.
    Reader reader(bytes, parser);
    const qsizetype lines = bytes.count('\n') + 1;
    for (; reader.pos < bytes.size() && !reader.error; ++reader.pos) {
        if (csv_parse(&parser, bytes.constData() + reader.pos, 1, onField, onRecord, &reader) != 1) {
            reader.fail(csv_error(&parser) == CSV_EPARSE
                            ? QStringLiteral("virgolette fuori posto: un campo tra virgolette deve aprirle e "
                                             "chiuderle subito prima e dopo i separatori, e raddoppiare quelle che "
                                             "contiene")
                            : QStringLiteral("record troppo lungo per la memoria disponibile"));
            break;
        }
        if (bytes.at(reader.pos) != '\n')
            continue;
        ++reader.line;
        if (progress)
            progress(reader.line - 1, lines);
    }
    if (!reader.error && csv_fini(&parser, onField, onRecord, &reader) != 0)
        reader.fail(QStringLiteral("virgolette aperte e mai chiuse"));
    if (reader.error)
        throw *reader.error;
    if (!reader.headerSeen)
        throw InputError(1, QStringLiteral("il file è vuoto: manca l'intestazione \"Parola,Definizione\""), Kind);
    if (progress)
        progress(lines, lines);
    return reader.rows;
}

bool hasHeader(const QString &text)
{
    const qsizetype end = text.indexOf(u'\n');
    QStringView first = QStringView(text).first(end < 0 ? text.size() : end);
    if (first.endsWith(u'\r'))
        first.chop(1);
    const QList<QStringView> names = first.split(QLatin1Char(separatorOf(text)));
    return names.size() == 2 && isName(names[0], u"Parola") && isName(names[1], u"Definizione");
}

QByteArray writeCsv(const QList<Record> &records, Dialect dialect,
                    const std::function<void(qsizetype, qsizetype)> &progress)
{
    QByteArray out = dialect.byteOrderMark ? QByteArrayLiteral("\xEF\xBB\xBF") : QByteArray();
    const auto appendRecord = [&](const std::optional<QString> &term, const std::optional<QString> &definition) {
        appendField(out, term, dialect);
        out += dialect.separator;
        appendField(out, definition, dialect);
        out += "\r\n";
    };
    appendRecord(QStringLiteral("Parola"), QStringLiteral("Definizione"));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const Record &record = records[i];
        if (!record.term && !record.definition)
            throw ExportError(record.id, QStringLiteral("la parola e la definizione mancano entrambe, e in un file CSV "
                                                        "la riga sarebbe letta come una riga vuota"));
        appendRecord(record.term, record.definition);
        if (progress && (i % 1024 == 1023 || i + 1 == records.size()))
            progress(i + 1, records.size());
    }
    return out;
}

} // namespace CsvGlossary
