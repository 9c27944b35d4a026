#include "db/mdb/JetFile.h"

#include "db/error/DbError.h"
#include "db/glossary/Glossary.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>

// The library's header includes these inside its extern "C" block, where C++ refuses them.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

namespace {

constexpr int PageSize = 4096;
constexpr int RowCountOffset = 0x0c;
// A data page's header, then one offset per row.
constexpr int RowOffsetsStart = RowCountOffset + 2;
// In the table definition: the counts of rows and columns, and where the columns' entries begin.
constexpr int TableRowsOffset = 16;
constexpr int TableAutoNumberOffset = 20;
constexpr int TableMaxColumnsOffset = 41;
constexpr int MemoHeaderSize = 12;
// The longest text column Jet 4 allows: 255 characters of two bytes.
constexpr int MaxTextBytes = 510;
constexpr quint16 OffsetMask = 0x1fff;
// A row's offset flags: both bits for a deleted row, the first alone for a row that now lives on
// another page and left only a pointer, the second alone for that row at its new place.
constexpr quint16 MovedAway = 0x4000;
constexpr quint16 NotHere = 0x8000;
constexpr quint32 InlineValue = 0x80000000;
constexpr quint32 SinglePageValue = 0x40000000;
constexpr quint32 LongValueKind = 0xc0000000;
constexpr int MaxHops = 8;

quint16 u16(const unsigned char *p)
{
    return quint16(p[0] | (p[1] << 8));
}

quint32 u32(const unsigned char *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

// The header of page 0 from 0x18 on is hidden under RC4 with a key that every Jet 4 file shares.
void rc4(const std::array<unsigned char, 4> &key, unsigned char *data, int size)
{
    std::array<unsigned char, 256> s {};
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xff;
        std::swap(s[i], s[j]);
    }
    for (int n = 0, i = 0, j = 0; n < size; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xff];
    }
}

// Jet's "Unicode compression": after FF FE, runs of one byte per character (Latin-1) and runs of
// UTF-16 units alternate at each zero byte. Anything else is plain UTF-16, surrogate pairs included.
std::optional<QString> decodeText(const unsigned char *p, qsizetype size)
{
    QString text;
    if (size >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        text.reserve(size);
        bool compressed = true;
        for (qsizetype i = 2; i < size;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text.append(QChar(char16_t(p[i++])));
            } else if (i + 1 < size) {
                text.append(QChar(char16_t(u16(p + i))));
                i += 2;
            } else {
                return std::nullopt;
            }
        }
        return text;
    }
    if (size % 2 != 0)
        return std::nullopt;
    text.resize(size / 2);
    for (qsizetype i = 0; i < size / 2; ++i)
        text[i] = QChar(char16_t(u16(p + 2 * i)));
    return text;
}

QString notAGlossary(const QString &file, const QString &why)
{
    return QStringLiteral("Formato di database non riconosciuto: il file '%1' %2.").arg(file, why);
}

} // namespace

struct JetFile::Handle {
    MdbHandle *mdb = nullptr;
    MdbTableDef *table = nullptr;
    ~Handle()
    {
        if (table)
            mdb_free_tabledef(table);
        if (mdb)
            mdb_close(mdb);
    }
};

bool JetFile::isJetFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(20);
    return head.size() == 20 && head.at(0) == 0 &&
        (head.mid(4, 16) == QByteArrayLiteral("Standard Jet DB\0") ||
         head.mid(4, 16) == QByteArrayLiteral("Standard ACE DB\0"));
}

std::optional<QString> JetFile::storedPassword(const QByteArray &firstPage)
{
    if (firstPage.size() < 0x98 || firstPage.at(0x14) != MDB_VER_JET4)
        return std::nullopt;
    QByteArray header = firstPage.left(0x98);
    auto *h = reinterpret_cast<unsigned char *>(header.data());
    rc4({0xc7, 0xda, 0x39, 0x6b}, h + 0x18, 0x80);
    // The 40 bytes of the password are also masked with the whole days of the creation date.
    double created = 0;
    std::memcpy(&created, h + 0x72, sizeof created);
    const auto days = static_cast<qint32>(created);
    const unsigned char mask[4] = {static_cast<unsigned char>(days), static_cast<unsigned char>(days >> 8),
                                   static_cast<unsigned char>(days >> 16), static_cast<unsigned char>(days >> 24)};
    QString password;
    for (int i = 0; i < 40; i += 2) {
        const char16_t unit = char16_t((h[0x42 + i] ^ mask[i % 4]) | ((h[0x43 + i] ^ mask[(i + 1) % 4]) << 8));
        if (unit == 0)
            break;
        password.append(QChar(unit));
    }
    return password;
}

JetFile::JetFile(const QString &path, const QString &password) : m_path(path), m_handle(std::make_unique<Handle>())
{
    QFile file(path);
    if (!file.exists())
        throw DbError(DbError::FileNotFound, QStringLiteral("Impossibile trovare il file '%1'.").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Impossibile aprire il file '%1': accesso non consentito.").arg(path));
    // Read whole and once: everything below is checked against these bytes.
    m_bytes = file.readAll();
    if (m_bytes.size() != file.size())
        throw DbError(DbError::FileLocked, QStringLiteral("Impossibile leggere il file '%1'.").arg(path));
    file.close();
    const QByteArray first = m_bytes.left(PageSize);
    if (first.size() < 0x98 || first.at(0x14) != MDB_VER_JET4)
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(path,
                                   QStringLiteral("è un database Access di una versione che non si può leggere "
                                                  "(solo Access 2000-2003, Jet 4.0)")));
    // A file without a password opens with any, as it did for the engine that wrote it.
    const QString stored = storedPassword(first).value_or(QString());
    if (!stored.isEmpty() && stored != password)
        throw DbError(
            DbError::WrongPassword,
            QStringLiteral("Password non valida per il file '%1', oppure il file non è un glossario.").arg(path));
    if (m_bytes.size() % PageSize != 0)
        damaged(QStringLiteral("la sua lunghezza non è un numero intero di pagine: è stato troncato"));

    const QByteArray name = QFile::encodeName(path);
    m_handle->mdb = mdb_open(name.constData(), MDB_NOFLAGS);
    if (!m_handle->mdb)
        damaged(QStringLiteral("la libreria non riesce ad aprirlo"));
    MdbHandle *mdb = m_handle->mdb;
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        damaged(QStringLiteral("il catalogo delle tabelle non si legge"));
    const QString &tableName = glossary::names().table;
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(mdb, tableName.toUtf8().constData());
    if (!entry || entry->object_type != MDB_TABLE)
        throw DbError(DbError::NotAGlossary, notAGlossary(path, QStringLiteral("non contiene la tabella %1").arg(tableName)));
    const quint32 definition = quint32(entry->table_pg);
    page(definition);
    m_handle->table = mdb_read_table(entry);
    if (!m_handle->table || !mdb_read_columns(m_handle->table))
        damaged(QStringLiteral("la definizione della tabella %1 non si legge").arg(tableName));
    checkTableDefinition(definition);
}

JetFile::~JetFile() = default;

void JetFile::damaged(const QString &why) const
{
    throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' è danneggiato: %2.").arg(m_path, why));
}

void JetFile::checkTableDefinition(quint32 definitionPage)
{
    const MdbTableDef *table = m_handle->table;
    const unsigned char *def = page(definitionPage);
    m_rowCount = qsizetype(u32(def + TableRowsOffset));
    m_lastAutoNumber = qint64(u32(def + TableAutoNumberOffset));
    m_maxColumns = u16(def + TableMaxColumnsOffset);

    // The counts the definition gives must match the columns it lists, or every row is split wrongly.
    QSet<int> numbers, varIndexes;
    QList<std::pair<int, int>> fixedParts;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto *c = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i));
        if (c->col_num >= m_maxColumns || numbers.contains(c->col_num))
            damaged(QStringLiteral("la tabella ha due colonne con lo stesso numero, o un numero fuori posto"));
        numbers.insert(c->col_num);
        if (c->is_fixed) {
            fixedParts.append({c->fixed_offset, c->fixed_offset + c->col_size});
        } else {
            if (varIndexes.contains(c->var_col_num))
                damaged(QStringLiteral("due colonne di lunghezza variabile hanno lo stesso posto nelle righe"));
            varIndexes.insert(c->var_col_num);
        }
        const Column column {c->col_num, c->is_fixed ? -1 : int(c->var_col_num), c->fixed_offset, c->col_size,
                             c->col_type};
        const int idSize = c->col_type == MDB_LONGINT ? 4
            : c->col_type == MDB_INT                  ? 2
            : c->col_type == MDB_BYTE                 ? 1
                                                      : 0;
        const bool text = c->col_type == MDB_TEXT || c->col_type == MDB_MEMO;
        // A text column is variable and holds 1 to 255 characters; a memo's size is not kept in the definition.
        if (text && (c->is_fixed || (c->col_type == MDB_TEXT && (c->col_size <= 0 || c->col_size > MaxTextBytes))))
            damaged(QStringLiteral("la colonna %1 ha una definizione impossibile").arg(QString::fromUtf8(c->name)));
        if (g_ascii_strcasecmp(c->name, "ID") == 0 && idSize > 0 && c->is_fixed && c->col_size == idSize)
            m_id = column;
        else if (g_ascii_strcasecmp(c->name, "Parola") == 0 && text)
            m_term = column;
        else if (g_ascii_strcasecmp(c->name, "Definizione") == 0 && text)
            m_definition = column;
    }
    if (int(table->num_var_cols) != varIndexes.size())
        damaged(QStringLiteral("la tabella dichiara %1 colonne di lunghezza variabile ma ne elenca %2")
                    .arg(table->num_var_cols)
                    .arg(varIndexes.size()));
    std::sort(fixedParts.begin(), fixedParts.end());
    for (qsizetype i = 1; i < fixedParts.size(); ++i) {
        if (fixedParts[i].first < fixedParts[i - 1].second)
            damaged(QStringLiteral("due colonne di lunghezza fissa si sovrappongono"));
    }
    // Sorted and apart, the last fixed column ends the fixed part, after the row's column count.
    m_fixedEnd = 2 + (fixedParts.isEmpty() ? 0 : fixedParts.last().second);
    if (m_id.number < 0 || m_term.number < 0 || m_definition.number < 0)
        throw DbError(
            DbError::NotAGlossary,
            notAGlossary(m_path, QStringLiteral("non ha le colonne ID (numero), Parola e Definizione (testo)")));
}

const unsigned char *JetFile::page(quint32 number) const
{
    if (number == 0 || qint64(number) >= m_bytes.size() / PageSize)
        damaged(QStringLiteral("rimanda alla pagina %1, oltre la fine del file").arg(number));
    return reinterpret_cast<const unsigned char *>(m_bytes.constData()) + qint64(number) * PageSize;
}

JetFile::Span JetFile::rowSpan(const unsigned char *page, quint32 number, int row) const
{
    // Rows fill a page from its end; each ends where the one before it starts.
    const int count = u16(page + RowCountOffset);
    const int table = RowOffsetsStart + 2 * count;
    if (row >= count || table > PageSize)
        damaged(QStringLiteral("la pagina %1 non ha la riga %2").arg(number).arg(row));
    const int start = u16(page + RowOffsetsStart + 2 * row) & OffsetMask;
    const int end = row == 0 ? PageSize : u16(page + RowOffsetsStart + 2 * (row - 1)) & OffsetMask;
    if (start < table || start >= end || end > PageSize)
        damaged(QStringLiteral("la pagina %1 ha una riga fuori posto").arg(number));
    return {start, end};
}

QByteArray JetFile::longValue(const unsigned char *header, int size)
{
    if (size < MemoHeaderSize)
        damaged(QStringLiteral("un testo lungo ha un'intestazione incompleta"));
    const quint32 word = u32(header);
    const quint32 kind = word & LongValueKind;
    const qsizetype length = qsizetype(word & ~LongValueKind);
    if (kind == InlineValue) {
        if (size - MemoHeaderSize != length)
            damaged(QStringLiteral("un testo lungo non ha la lunghezza dichiarata"));
        return QByteArray(reinterpret_cast<const char *>(header + MemoHeaderSize), length);
    }
    if (kind == LongValueKind)
        damaged(QStringLiteral("un testo lungo è di un tipo sconosciuto"));
    if (size != MemoHeaderSize || length == 0 || length > m_bytes.size())
        damaged(QStringLiteral("un testo lungo dichiara una lunghezza che il file non può contenere"));

    // Stored elsewhere: on one page, or on a chain of pages each naming the next in its first 4 bytes,
    // which must give exactly the declared length and reach each part once.
    const bool chained = kind != SinglePageValue;
    QByteArray value;
    value.reserve(length);
    for (quint32 pointer = u32(header + 4); pointer != 0;) {
        if (m_reached.contains(pointer))
            damaged(QStringLiteral("un testo lungo torna su una parte già letta"));
        m_reached.insert(pointer);
        const unsigned char *lval = page(pointer >> 8);
        const int row = int(pointer & 0xff);
        if (lval[0] != MDB_PAGE_DATA || std::memcmp(lval + 4, "LVAL", 4) != 0 || row >= u16(lval + RowCountOffset) ||
            (u16(lval + RowOffsetsStart + 2 * row) & (MovedAway | NotHere)) != 0)
            damaged(QStringLiteral("un testo lungo rimanda a una pagina che non lo contiene"));
        const Span span = rowSpan(lval, pointer >> 8, row);
        const int skip = chained ? 4 : 0;
        if (span.end - span.start < skip || value.size() + (span.end - span.start - skip) > length)
            damaged(QStringLiteral("un testo lungo è più lungo della lunghezza dichiarata"));
        value.append(reinterpret_cast<const char *>(lval + span.start + skip), span.end - span.start - skip);
        pointer = chained ? u32(lval + span.start) : 0;
    }
    if (value.size() != length)
        damaged(QStringLiteral("un testo lungo è più corto della lunghezza dichiarata"));
    return value;
}

std::optional<QString> JetFile::text(const Column &column, const unsigned char *bytes, int size, bool null)
{
    if (null) {
        if (size != 0)
            damaged(QStringLiteral("un testo nullo occupa dei byte"));
        return std::nullopt;
    }
    std::optional<QString> text;
    if (column.type == MDB_MEMO) {
        const QByteArray value = longValue(bytes, size);
        text = decodeText(reinterpret_cast<const unsigned char *>(value.constData()), value.size());
    } else {
        if (size > column.size)
            damaged(QStringLiteral("un testo è più lungo della sua colonna"));
        text = decodeText(bytes, size);
    }
    if (!text)
        damaged(QStringLiteral("un testo ha un numero dispari di byte"));
    // No text written through Access holds a NUL; a value of another shape read as text does.
    if (text->contains(QChar(u'\0')))
        damaged(QStringLiteral("un testo contiene un carattere nullo"));
    return text;
}

void JetFile::readRowAt(const unsigned char *row, int size, QList<GlossaryFile::Record> &rows)
{
    // A row: its column count, the fixed columns, the variable ones, their offsets backwards from the
    // end (the last one where the data ends), their count, and a null mask of one bit per column.
    if (size < 2)
        damaged(QStringLiteral("una riga della tabella è troppo corta"));
    const int columns = u16(row);
    const int mask = (columns + 7) / 8;
    if (columns > m_maxColumns || columns <= std::max({m_id.number, m_term.number, m_definition.number}) ||
        2 + mask + 2 > size)
        damaged(QStringLiteral("una riga non ha le colonne della tabella"));
    const int varCount = u16(row + size - mask - 2);
    const int trailer = mask + 2 + 2 * (varCount + 1);
    if (2 + trailer > size || varCount > m_maxColumns || m_term.varIndex >= varCount ||
        m_definition.varIndex >= varCount)
        damaged(QStringLiteral("una riga non ha le colonne della tabella"));
    const auto offset = [&](int k) { return int(u16(row + size - mask - 4 - 2 * k)); };
    // Where no column was ever dropped or added, every row's fixed part is exactly the definition's; rows
    // of other tables keep the bytes of dropped columns or lack those of added ones, but must hold the ID.
    const bool asDefined = m_maxColumns == int(m_handle->table->num_cols) && columns == m_maxColumns;
    if (offset(varCount) != size - trailer ||
        (asDefined ? offset(0) != m_fixedEnd : offset(0) < 2 + m_id.fixedOffset + m_id.size))
        damaged(QStringLiteral("una riga ha le sue parti fuori posto"));
    for (int k = 0; k < varCount; ++k) {
        if (offset(k) > offset(k + 1))
            damaged(QStringLiteral("una riga ha le sue parti fuori posto"));
    }
    const auto isNull = [&](const Column &c) { return !(row[size - mask + c.number / 8] & (1 << (c.number % 8))); };
    const auto field = [&](const Column &c) {
        const int start = offset(c.varIndex);
        return text(c, row + start, offset(c.varIndex + 1) - start, isNull(c));
    };

    if (isNull(m_id))
        damaged(QStringLiteral("una riga non ha l'ID"));
    const unsigned char *id = row + 2 + m_id.fixedOffset;
    GlossaryFile::Record record;
    record.id = m_id.size == 4 ? qint64(qint32(u32(id))) : m_id.size == 2 ? qint64(qint16(u16(id))) : qint64(id[0]);
    record.term = field(m_term);
    record.definition = field(m_definition);
    rows.append(std::move(record));
}

void JetFile::readRow(int row, quint32 number, QList<GlossaryFile::Record> &rows, int hops)
{
    const unsigned char *buf = page(number);
    const quint16 flags = u16(buf + RowOffsetsStart + 2 * row) & (MovedAway | NotHere);
    // Deleted rows carry both flags; a moved row at its new place is read through its pointer only.
    if (hops == 0 && (flags & NotHere))
        return;
    if (flags == (MovedAway | NotHere))
        damaged(QStringLiteral("una riga spostata rimanda a una riga cancellata"));
    const Span span = rowSpan(buf, number, row);
    if (flags != MovedAway) {
        readRowAt(buf + span.start, span.end - span.start, rows);
        return;
    }
    // An edited row that grew was moved to another page; its old place only says where.
    if (hops == MaxHops || span.end - span.start < 4)
        damaged(QStringLiteral("una riga spostata non si ritrova"));
    const quint32 pointer = u32(buf + span.start);
    const unsigned char *target = page(pointer >> 8);
    if (m_reached.contains(pointer) || target[0] != MDB_PAGE_DATA ||
        u32(target + 4) != quint32(m_handle->table->entry->table_pg) ||
        int(pointer & 0xff) >= u16(target + RowCountOffset))
        damaged(QStringLiteral("una riga spostata rimanda a una pagina che non la contiene"));
    m_reached.insert(pointer);
    readRow(int(pointer & 0xff), pointer >> 8, rows, hops + 1);
}

QList<GlossaryFile::Record> JetFile::readAll(const Progress &progress)
{
    MdbHandle *mdb = m_handle->mdb;
    MdbTableDef *table = m_handle->table;
    const auto owner = quint32(table->entry->table_pg);
    QList<GlossaryFile::Record> rows;
    // The count is only the file's word: no more is reserved than its pages could hold.
    rows.reserve(std::min<qsizetype>(m_rowCount, m_bytes.size() / 16));
    m_reached.clear();
    if (table->map_sz == 0 || !table->usage_map)
        damaged(QStringLiteral("la mappa delle pagine della tabella manca"));
    QSet<gint32> seen;
    for (gint32 number = mdb_map_find_next(mdb, table->usage_map, unsigned(table->map_sz), 0); number > 0;
         number = mdb_map_find_next(mdb, table->usage_map, unsigned(table->map_sz), quint32(number))) {
        if (seen.contains(number))
            damaged(QStringLiteral("la mappa delle pagine nomina due volte la pagina %1").arg(number));
        seen.insert(number);
        const unsigned char *buf = page(quint32(number));
        if (buf[0] != MDB_PAGE_DATA || u32(buf + 4) != owner)
            continue; // the map may name a page that has since gone to another table
        const int count = u16(buf + RowCountOffset);
        if (RowOffsetsStart + 2 * count > PageSize)
            damaged(QStringLiteral("la pagina %1 dichiara troppe righe").arg(number));
        for (int row = 0; row < count; ++row)
            readRow(row, quint32(number), rows, 0);
        if (rows.size() > m_rowCount)
            break; // already more than the table counts: refused below, without reading the rest
        if (progress)
            progress(rows.size(), std::max(m_rowCount, rows.size()));
    }
    if (rows.size() != m_rowCount)
        damaged(QStringLiteral("la tabella dichiara %1 righe ma se ne leggono %2").arg(m_rowCount).arg(rows.size()));
    // Sorted through their keys: the rows themselves are only moved once, into their place.
    QList<std::pair<qint64, qsizetype>> order;
    order.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i)
        order.append({rows[i].id, i});
    std::sort(order.begin(), order.end());
    QList<GlossaryFile::Record> sorted;
    sorted.reserve(rows.size());
    for (qsizetype i = 0; i < order.size(); ++i) {
        if (i > 0 && order[i].first == order[i - 1].first)
            damaged(QStringLiteral("due righe hanno lo stesso ID %1").arg(order[i].first));
        sorted.append(std::move(rows[order[i].second]));
    }
    return sorted;
}
