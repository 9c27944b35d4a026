#include "CsvGlossary.h"

#include "InputError.h"

#include <QScopeGuard>
#include <QStringDecoder>

#include <csv.h>

#include <algorithm>
#include <optional>

namespace {

using GlossaryFile::Row;

const QByteArray Header = QByteArrayLiteral("Parola,Definizione");
const QByteArray Bom = QByteArrayLiteral("\xEF\xBB\xBF");
const QString Kind = QStringLiteral("CSV");

// Spreadsheets put nothing around fields, so every blank belongs to the field it stands in.
int noBlank(unsigned char)
{
    return 0;
}

std::optional<QString> decodeUtf8(const QByteArray &field)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(field);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// What the libcsv callbacks gather. They are called from C, so a bad record is noted here and the
// byte loop stops, instead of throwing through the library.
struct Reader {
    explicit Reader(const QByteArray &input) : bytes(input) {}

    const QByteArray &bytes;
    qsizetype pos = 0;  // the byte being fed
    int line = 1;       // the physical line that byte is on
    int recordLine = 1; // where the record being read started
    bool headerSeen = false;
    bool crlfTail = false; // the next LF only completes the CRLF that ended the last record
    QList<QByteArray> fields;
    QList<Row> rows;
    std::optional<InputError> error;

    void fail(const QString &reason)
    {
        if (!error)
            error.emplace(recordLine, reason, Kind);
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
        else
            addRow(record);
        if (terminator == CSV_LF)
            recordLine = line + 1;
    }

    void checkHeader(const QList<QByteArray> &record)
    {
        headerSeen = true;
        if (record.size() == 2 && record[0].compare("Parola", Qt::CaseInsensitive) == 0
            && record[1].compare("Definizione", Qt::CaseInsensitive) == 0)
            return;
        if (record.size() == 1 && record[0].compare("Parola;Definizione", Qt::CaseInsensitive) == 0)
            return fail(QStringLiteral("i campi sono separati da punto e virgola: servono le virgole, come in "
                                       "\"Parola,Definizione\""));
        fail(QStringLiteral("l'intestazione deve essere \"Parola,Definizione\""));
    }

    void addRow(const QList<QByteArray> &record)
    {
        if (record.isEmpty())
            return fail(QStringLiteral("riga vuota: ogni riga deve avere una parola e una definizione"));
        if (record.size() == 1)
            return fail(QStringLiteral("manca la definizione: il record ha un solo campo"));
        if (record.size() != 2)
            return fail(QStringLiteral("il record ha %1 campi invece di 2 (Parola e Definizione)").arg(record.size()));
        if (record[0].isEmpty())
            return fail(QStringLiteral("la parola è vuota"));
        if (record[1].isEmpty())
            return fail(QStringLiteral("la definizione è vuota"));
        const std::optional<QString> term = decodeUtf8(record[0]);
        const std::optional<QString> definition = decodeUtf8(record[1]);
        if (!term || !definition)
            return fail(QStringLiteral("il testo non è UTF-8 valido (salvare il file come CSV UTF-8)"));
        // SQLite would keep a NUL, but the window reads text only up to it.
        if (term->contains(QChar(0)) || definition->contains(QChar(0)))
            return fail(QStringLiteral("il testo contiene un carattere nullo"));
        rows.append({*term, *definition});
    }
};

void onField(void *data, size_t size, void *context)
{
    static_cast<Reader *>(context)->fields.append(QByteArray(static_cast<const char *>(data), qsizetype(size)));
}

void onRecord(int terminator, void *context)
{
    static_cast<Reader *>(context)->endRecord(terminator);
}

void appendField(QByteArray &out, const QString &field)
{
    const QByteArray utf8 = field.toUtf8();
    const bool quoted =
        std::any_of(utf8.cbegin(), utf8.cend(), [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
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

QList<Row> parseCsv(const QByteArray &input, const std::function<void(qsizetype, qsizetype)> &progress)
{
    const QByteArray bytes = input.startsWith(Bom) ? input.sliced(Bom.size()) : input;
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0)
        throw std::bad_alloc();
    const auto release = qScopeGuard([&] { csv_free(&parser); });
    csv_set_space_func(&parser, noBlank);

    // One byte at a time, so that each callback knows the line it was reached on.
    Reader reader(bytes);
    const qsizetype lines = bytes.count('\n') + 1;
    for (; reader.pos < bytes.size() && !reader.error; ++reader.pos) {
        if (csv_parse(&parser, bytes.constData() + reader.pos, 1, onField, onRecord, &reader) != 1) {
            reader.fail(csv_error(&parser) == CSV_EPARSE
                            ? QStringLiteral("virgolette fuori posto: un campo tra virgolette deve aprirle e "
                                             "chiuderle subito prima e dopo le virgole, e raddoppiare quelle che "
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

QByteArray writeCsv(const QList<Row> &rows, const std::function<void(qsizetype, qsizetype)> &progress)
{
    QByteArray out = Header + "\r\n";
    for (qsizetype i = 0; i < rows.size(); ++i) {
        appendField(out, rows[i].term);
        out += ',';
        appendField(out, rows[i].definition);
        out += "\r\n";
        if (progress && (i % 1024 == 1023 || i + 1 == rows.size()))
            progress(i + 1, rows.size());
    }
    return out;
}

} // namespace CsvGlossary
