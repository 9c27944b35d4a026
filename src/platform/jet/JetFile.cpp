#include "JetFile.h"

#include "DbError.h"

#include <QFile>
#include <QFileInfo>
#include <QVarLengthArray>

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
constexpr quint16 OffsetMask = 0x1fff;
// A row's offset flags: both bits for a deleted row, the first alone for a row that now lives on
// another page and left only a pointer, the second alone for that row at its new place.
constexpr quint16 MovedAway = 0x4000;
constexpr quint16 NotHere = 0x8000;
constexpr quint32 InlineValue = 0x80000000;
constexpr quint32 SinglePageValue = 0x40000000;
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
    std::array<unsigned char, 256> s{};
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
    const QByteArray first = file.read(PageSize);
    m_fileSize = file.size();
    file.close();
    if (first.size() < 0x98 || first.at(0x14) != MDB_VER_JET4)
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(path, QStringLiteral("è un database Access di una versione che non si può leggere "
                                                        "(solo Access 2000-2003, Jet 4.0)")));
    // A file without a password opens with any, as it did for the engine that wrote it.
    const QString stored = storedPassword(first).value_or(QString());
    if (!stored.isEmpty() && stored != password)
        throw DbError(DbError::WrongPassword,
                      QStringLiteral("Password non valida per il file '%1', oppure il file non è un glossario.").arg(path));
    if (m_fileSize % PageSize != 0)
        damaged(QStringLiteral("la sua lunghezza non è un numero intero di pagine: è stato troncato"));

    const QByteArray name = QFile::encodeName(path);
    m_handle->mdb = mdb_open(name.constData(), MDB_NOFLAGS);
    if (!m_handle->mdb)
        damaged(QStringLiteral("la libreria non riesce ad aprirlo"));
    MdbHandle *mdb = m_handle->mdb;
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        damaged(QStringLiteral("il catalogo delle tabelle non si legge"));
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(mdb, "Tbl_Zorvane");
    if (!entry || entry->object_type != MDB_TABLE)
        throw DbError(DbError::NotAGlossary, notAGlossary(path, QStringLiteral("non contiene la tabella Tbl_Zorvane")));
    if (qint64(entry->table_pg + 1) * PageSize > m_fileSize)
        damaged(QStringLiteral("la tabella Tbl_Zorvane è oltre la fine del file"));
    m_handle->table = mdb_read_table(entry);
    if (!m_handle->table || !mdb_read_columns(m_handle->table))
        damaged(QStringLiteral("la definizione della tabella Tbl_Zorvane non si legge"));
    MdbTableDef *table = m_handle->table;

    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i));
        const bool text = column->col_type == MDB_TEXT || column->col_type == MDB_MEMO;
        const bool number = column->col_type == MDB_LONGINT || column->col_type == MDB_INT ||
                            column->col_type == MDB_BYTE;
        if (g_ascii_strcasecmp(column->name, "ID") == 0 && number)
            m_idColumn = int(i);
        else if (g_ascii_strcasecmp(column->name, "Parola") == 0 && text)
            m_termColumn = int(i);
        else if (g_ascii_strcasecmp(column->name, "Definizione") == 0 && text)
            m_definitionColumn = int(i);
    }
    if (m_idColumn < 0 || m_termColumn < 0 || m_definitionColumn < 0)
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(path, QStringLiteral("non ha le colonne ID (numero), Parola e Definizione (testo)")));

    // The row count and the AutoNumber's last value follow the page header of the table definition.
    readPage(entry->table_pg, false);
    m_rowCount = qsizetype(u32(mdb->pg_buf + 16));
    m_lastAutoNumber = qint64(u32(mdb->pg_buf + 20));
}

JetFile::~JetFile() = default;

void JetFile::damaged(const QString &why) const
{
    throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' è danneggiato: %2.").arg(m_path, why));
}

void JetFile::readPage(quint32 page, bool alternate)
{
    // The library reads a page past the end of the file as zeros, which would turn into empty texts.
    if (page == 0 || qint64(page + 1) * PageSize > m_fileSize)
        damaged(QStringLiteral("rimanda alla pagina %1, oltre la fine del file").arg(page));
    MdbHandle *mdb = m_handle->mdb;
    const ssize_t got = alternate ? mdb_read_alt_pg(mdb, page) : mdb_read_pg(mdb, page);
    if (got != PageSize)
        damaged(QStringLiteral("la pagina %1 non si legge").arg(page));
}

QByteArray JetFile::longValue(const unsigned char *header, int size)
{
    if (size < MDB_MEMO_OVERHEAD)
        damaged(QStringLiteral("un testo lungo ha un'intestazione incompleta"));
    const quint32 word = u32(header);
    const qsizetype length = qsizetype(word & 0x3fffffff);
    if (word & InlineValue) {
        if (size - MDB_MEMO_OVERHEAD != length)
            damaged(QStringLiteral("un testo lungo non ha la lunghezza dichiarata"));
        return QByteArray(reinterpret_cast<const char *>(header + MDB_MEMO_OVERHEAD), length);
    }
    if ((word & 0xff000000) != 0 && !(word & SinglePageValue))
        damaged(QStringLiteral("un testo lungo è di un tipo sconosciuto"));

    // Stored elsewhere: on one page, or on a chain of pages each naming the next in its first 4 bytes.
    const bool chained = !(word & SinglePageValue);
    QByteArray value;
    value.reserve(length);
    quint32 pointer = u32(header + 4);
    MdbHandle *mdb = m_handle->mdb;
    for (int pages = 0; pointer != 0 && value.size() < length; ++pages) {
        if (pages > m_fileSize / PageSize)
            damaged(QStringLiteral("la catena di pagine di un testo lungo non finisce"));
        readPage(pointer >> 8, true);
        const unsigned char *page = mdb->alt_pg_buf;
        const int row = int(pointer & 0xff);
        if (page[0] != MDB_PAGE_DATA || row >= u16(page + RowCountOffset))
            damaged(QStringLiteral("un testo lungo rimanda a una pagina che non lo contiene"));
        const int start = u16(page + RowCountOffset + 2 + 2 * row) & OffsetMask;
        const int end = row == 0 ? PageSize : u16(page + RowCountOffset + 2 * row) & OffsetMask;
        const int skip = chained ? 4 : 0;
        if (start + skip > end || end > PageSize)
            damaged(QStringLiteral("un testo lungo ha una parte fuori posto"));
        value.append(reinterpret_cast<const char *>(page + start + skip), end - start - skip);
        pointer = chained ? u32(page + start) : 0;
    }
    if (value.size() < length)
        damaged(QStringLiteral("un testo lungo è più corto della lunghezza dichiarata"));
    value.truncate(length);
    return value;
}

std::optional<QString> JetFile::fieldText(int column, const void *fieldArray)
{
    const auto &field = static_cast<const MdbField *>(fieldArray)[column];
    if (field.is_null)
        return std::nullopt;
    const auto *col = static_cast<const MdbColumn *>(g_ptr_array_index(m_handle->table->columns, column));
    const auto *bytes = m_handle->mdb->pg_buf + field.start;
    std::optional<QString> text;
    if (col->col_type == MDB_MEMO) {
        const QByteArray value = longValue(bytes, field.siz);
        text = decodeText(reinterpret_cast<const unsigned char *>(value.constData()), value.size());
    } else {
        text = decodeText(bytes, field.siz);
    }
    if (!text)
        damaged(QStringLiteral("un testo ha un numero dispari di byte"));
    return text;
}

void JetFile::readRowAt(int start, int size, QList<GlossaryFile::Record> &rows)
{
    MdbTableDef *table = m_handle->table;
    QVarLengthArray<MdbField, 8> fields(table->num_cols);
    if (size <= 0 || mdb_crack_row(table, start, size_t(size), fields.data()) < 0)
        damaged(QStringLiteral("una riga della tabella non si legge"));
    const MdbField &idField = fields[m_idColumn];
    if (idField.is_null)
        damaged(QStringLiteral("una riga non ha l'ID"));
    const unsigned char *id = m_handle->mdb->pg_buf + idField.start;
    GlossaryFile::Record row;
    row.id = idField.siz == 4 ? qint64(qint32(u32(id))) : idField.siz == 2 ? qint64(qint16(u16(id))) : qint64(id[0]);
    row.term = fieldText(m_termColumn, fields.data());
    row.definition = fieldText(m_definitionColumn, fields.data());
    rows.append(std::move(row));
}

void JetFile::readRow(int row, quint32 page, QList<GlossaryFile::Record> &rows, int hops)
{
    const unsigned char *buf = m_handle->mdb->pg_buf;
    const quint16 offset = u16(buf + RowCountOffset + 2 + 2 * row);
    const quint16 flags = offset & (MovedAway | NotHere);
    // Deleted rows carry both flags; a moved row at its new place is read through its pointer only.
    if (hops == 0 && (flags & NotHere))
        return;
    if (flags == (MovedAway | NotHere))
        damaged(QStringLiteral("una riga spostata rimanda a una riga cancellata"));
    const int start = offset & OffsetMask;
    const int end = row == 0 ? PageSize : u16(buf + RowCountOffset + 2 * row) & OffsetMask;
    if (start >= end || end > PageSize)
        damaged(QStringLiteral("la pagina %1 ha una riga fuori posto").arg(page));
    if (flags != MovedAway) {
        readRowAt(start, end - start, rows);
        return;
    }
    // An edited row that grew was moved to another page; its old place only says where.
    if (hops == MaxHops || end - start < 4)
        damaged(QStringLiteral("una riga spostata non si ritrova"));
    const quint32 pointer = u32(buf + start);
    const quint32 target = pointer >> 8;
    readPage(target, false);
    if (buf[0] != MDB_PAGE_DATA || int(pointer & 0xff) >= u16(buf + RowCountOffset))
        damaged(QStringLiteral("una riga spostata rimanda a una pagina che non la contiene"));
    readRow(int(pointer & 0xff), target, rows, hops + 1);
    readPage(page, false);
}

QList<GlossaryFile::Record> JetFile::readAll(const Progress &progress)
{
    MdbHandle *mdb = m_handle->mdb;
    MdbTableDef *table = m_handle->table;
    const auto owner = quint32(table->entry->table_pg);
    QList<GlossaryFile::Record> rows;
    rows.reserve(m_rowCount);
    if (table->map_sz == 0 || !table->usage_map)
        damaged(QStringLiteral("la mappa delle pagine della tabella manca"));
    for (gint32 page = mdb_map_find_next(mdb, table->usage_map, unsigned(table->map_sz), 0); page > 0;
         page = mdb_map_find_next(mdb, table->usage_map, unsigned(table->map_sz), quint32(page))) {
        readPage(quint32(page), false);
        if (mdb->pg_buf[0] != MDB_PAGE_DATA || u32(mdb->pg_buf + 4) != owner)
            continue; // the map may name a page that has since gone to another table
        const int count = u16(mdb->pg_buf + RowCountOffset);
        if (RowCountOffset + 2 + 2 * count > PageSize)
            damaged(QStringLiteral("la pagina %1 dichiara troppe righe").arg(page));
        for (int row = 0; row < count; ++row)
            readRow(row, quint32(page), rows, 0);
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
