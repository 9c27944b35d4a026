#include "tools/TsvGlossary.h"

#include "tools/ExportError.h"
#include "tools/InputError.h"

#include <QStringView>

namespace {

using GlossaryFile::Record;
using GlossaryFile::Row;

const QString Kind = QStringLiteral("TSV");

bool isComment(QStringView line)
{
    return line.trimmed().startsWith(u'#');
}

// The text as one field of a line: what parsing would give back.
QString flattened(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar &c : out) {
        if (c == u'\r' || c == u'\n' || c == u'\t')
            c = u' ';
    }
    return out.trimmed();
}

} // namespace

namespace TsvGlossary {

QList<Row> parseTsv(const QString &text, const std::function<void(qsizetype, qsizetype)> &progress)
{
    QList<Row> rows;
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = int(i + 1);
        QStringView line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (progress && (i % 1024 == 1023 || i + 1 == lines.size()))
            progress(i + 1, lines.size());
        if (line.trimmed().isEmpty() || isComment(line))
            continue;
        if (line.contains(u'\r'))
            throw InputError(number, QStringLiteral("un CR senza LF: ogni riga deve finire con LF o con CRLF"), Kind);
        const QList<QStringView> fields = line.split(u'\t');
        if (fields.size() < 2)
            throw InputError(number,
                             QStringLiteral("manca la definizione: nessuna tabulazione separa parola e definizione"),
                             Kind);
        const QString term = fields[0].trimmed().toString();
        const QString definition = fields[1].trimmed().toString();
        if (term.contains(QChar(0)) || definition.contains(QChar(0)))
            throw InputError(number, QStringLiteral("il testo contiene un carattere nullo"), Kind);
        rows.append({term, definition});
    }
    return rows;
}

Written writeTsv(const QList<Record> &records, const std::function<void(qsizetype, qsizetype)> &progress)
{
    Written written;
    written.bytes = QByteArrayLiteral("# Glossario di Zorvane: una voce per riga, la parola, una tabulazione, la "
                                      "definizione\n");
    for (qsizetype i = 0; i < records.size(); ++i) {
        const Record &record = records[i];
        const QString stored[] = {record.term.value_or(QString()), record.definition.value_or(QString())};
        const QString term = flattened(stored[0]);
        const QString definition = flattened(stored[1]);
        if (term.isEmpty() && definition.isEmpty())
            throw ExportError(record.id, QStringLiteral("senza a capo, tabulazioni e spazi ai bordi la parola e la "
                                                        "definizione restano vuote, e una riga vuota viene saltata"));
        if (term.startsWith(u'#'))
            throw ExportError(record.id, QStringLiteral("la parola comincia con #, che in un file TSV apre un commento"));
        if (term.isEmpty() && definition.startsWith(u'#'))
            throw ExportError(record.id, QStringLiteral("la parola è vuota e la definizione comincia con #, che in un "
                                                        "file TSV apre un commento"));
        if (term != stored[0] || definition != stored[1])
            ++written.changed;
        written.bytes += term.toUtf8() + '\t' + definition.toUtf8() + '\n';
        if (progress && (i % 1024 == 1023 || i + 1 == records.size()))
            progress(i + 1, records.size());
    }
    return written;
}

} // namespace TsvGlossary
