#include "db/glossary/Glossary.h"

#include "db/sqlite/Statement.h"

#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include <unistd.h>

namespace {

// Long enough to ride out another program's short write, short enough that a held lock is reported
// while the user is still looking at the window.
constexpr int BusyTimeoutMs = 500;

QString notAGlossary(const QString &file, const QString &why)
{
    return QStringLiteral("Formato di database non riconosciuto: il file '%1' %2.").arg(file, why);
}

// SQLCipher cannot tell a wrong key from bytes that were never a database; the cheap signs that the file
// is not ours are checked first so that they never read as a wrong password.
void checkLooksLikeOne(const QString &file)
{
    const QFileInfo info(file);
    if (!info.exists())
        throw DbError(DbError::FileNotFound, QStringLiteral("Impossibile trovare il file '%1'.").arg(file));
    if (!info.isFile())
        throw DbError(DbError::NotAGlossary, notAGlossary(file, QStringLiteral("non è un file")));
    QFile raw(file);
    if (!raw.open(QIODevice::ReadOnly))
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Impossibile aprire il file '%1': accesso non consentito.").arg(file));
    const QByteArray head = raw.read(16);
    const qint64 size = raw.size();
    raw.close();
    if (size == 0)
        throw DbError(DbError::NotAGlossary, notAGlossary(file, QStringLiteral("è vuoto")));
    if (head.startsWith(QByteArrayLiteral("SQLite format 3")))
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(file, QStringLiteral("è un database SQLite senza protezione")));
    if (size % 512 != 0)
        throw DbError(DbError::NotAGlossary, notAGlossary(file, QStringLiteral("non è un database")));
}

void checkIsGlossary(const Connection &connection)
{
    const QString &file = connection.file();
    Statement info(connection, QStringLiteral("PRAGMA table_info(\"%1\")").arg(glossary::names().table));
    bool id = false, term = false, definition = false, rowKey = false;
    int keys = 0;
    const auto &columns = glossary::names().columns;
    while (info.step()) {
        const QString name = info.text(1);
        keys += info.integer(5) != 0;
        if (name.compare(columns[CatalogQuery::Id], Qt::CaseInsensitive) == 0) {
            id = true;
            // Only a lone INTEGER PRIMARY KEY is the row's own number: unique, whole, never null.
            rowKey = info.integer(5) == 1 && info.text(2).compare(u"INTEGER", Qt::CaseInsensitive) == 0;
        } else if (name.compare(columns[CatalogQuery::Term], Qt::CaseInsensitive) == 0) {
            term = true;
        } else if (name.compare(columns[CatalogQuery::Definition], Qt::CaseInsensitive) == 0) {
            definition = true;
        }
    }
    if (!id && !term && !definition)
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(file, QStringLiteral("non contiene la tabella Tbl_Zorvane")));
    if (!id || !term || !definition)
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(file, QStringLiteral("non ha le colonne ID, Parola e Definizione")));
    if (!rowKey || keys != 1)
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(file, QStringLiteral("ha una colonna ID che non identifica ogni riga: deve essere "
                                                        "la sola chiave primaria, di tipo INTEGER")));
}

bool writable(const QString &file)
{
    const QByteArray path = QFile::encodeName(file);
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    return access(path.constData(), W_OK) == 0 && access(folder.constData(), W_OK) == 0;
}

} // namespace

namespace glossary {

const TableNames &names()
{
    static const TableNames tbl{QStringLiteral("Tbl_Zorvane"),
                                {QStringLiteral("ID"), QStringLiteral("Parola"), QStringLiteral("Definizione")}};
    return tbl;
}

CatalogQuery parse(const QString &text)
{
    return CatalogQuery::parse(text, names());
}

Connection open(const ConnectionTarget &target)
{
    checkLooksLikeOne(target.dataSource);
    return worded(target.dataSource, [&] {
        Connection connection(target.dataSource);
        connection.key(target.password.toUtf8());
        connection.setBusyTimeout(BusyTimeoutMs);
        // A kept connection serves many operations; its page cache is checked against the file by SQLite
        // at every read, so a larger one never shows stale rows.
        connection.exec("PRAGMA cache_size = -32768");
        CatalogQuery::addFunctions(connection);
        checkIsGlossary(connection);
        return connection;
    });
}

void fail(const SqliteError &error, const QString &file)
{
    const QString &detail = error.message();
    int rc = error.primary();
    if (error.code() == SqliteError::MoreThanOneStatement)
        throw DbError(DbError::MalformedQuery,
                      QStringLiteral("Errore di sintassi nella query: è ammessa una sola istruzione."));
    // A connection kept from before the file became read-only meets it as an I/O error on writing;
    // the user is owed the same answer a fresh open gives.
    if ((rc == SQLITE_IOERR || rc == SQLITE_CANTOPEN) && !writable(file))
        rc = SQLITE_READONLY;
    switch (rc) {
    case SQLITE_NOTADB:
        throw DbError(DbError::WrongPassword,
                      // Encrypted bytes look like any other bytes: say both things it may be.
                      QStringLiteral("Password non valida per il file '%1', oppure il file non è un glossario.")
                          .arg(file));
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Il file '%1' è bloccato da un altro programma. Riprovare più tardi.").arg(file));
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Impossibile scrivere nel file '%1': il file o la sua cartella sono di sola "
                                     "lettura o l'accesso non è consentito.")
                          .arg(file));
    case SQLITE_FULL:
        throw DbError(DbError::DiskFull,
                      QStringLiteral("Spazio su disco insufficiente per scrivere nel file '%1'.").arg(file));
    case SQLITE_CORRUPT:
        throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' è danneggiato.").arg(file));
    case SQLITE_ERROR:
        // Another program changed the table under a kept connection.
        if (detail.startsWith(QStringLiteral("no such table")) || detail.startsWith(QStringLiteral("no such column")))
            throw DbError(DbError::NotAGlossary,
                          notAGlossary(file, QStringLiteral("non ha più la tabella Tbl_Zorvane con le sue colonne")));
        throw DbError(DbError::Unknown, QStringLiteral("Errore del database sul file '%1' (%2).").arg(file, detail));
    case SQLITE_IOERR:
        throw DbError(DbError::Unknown,
                      QStringLiteral("Errore di lettura o scrittura del file '%1' (%2).").arg(file, detail));
    default:
        throw DbError(DbError::Unknown, QStringLiteral("Errore del database sul file '%1' (%2).").arg(file, detail));
    }
}

qint64 nextId(const Connection &connection)
{
    const QString &table = names().table;
    const QString &id = names().columns[CatalogQuery::Id];
    // A table with AUTOINCREMENT (a glossary carried over from an older file) remembers the highest ID
    // it ever handed out, deleted rows included; those numbers are never given again.
    Statement sql(connection,
                  QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = '%1' COLLATE NOCASE")
                      .arg(table));
    const bool remembers = sql.step() && sql.text(0).contains(u"AUTOINCREMENT", Qt::CaseInsensitive);
    Statement next(connection,
                   remembers ? QStringLiteral("SELECT max(coalesce((SELECT max(\"%2\") FROM \"%1\"), 0), "
                                              "coalesce((SELECT max(seq) FROM sqlite_sequence WHERE name = '%1' "
                                              "COLLATE NOCASE), 0)) + 1")
                                   .arg(table, id)
                             : QStringLiteral("SELECT coalesce(max(\"%2\"), 0) + 1 FROM \"%1\"").arg(table, id));
    next.step();
    // Past the largest whole number SQLite answers with a real number.
    if (next.value(0).typeId() == QMetaType::LongLong)
        return next.integer(0);
    if (!remembers) {
        Statement below(connection, QStringLiteral("SELECT \"%2\" - 1 FROM \"%1\" AS t WHERE \"%2\" > "
                                                   "-9223372036854775807 AND NOT EXISTS (SELECT 1 FROM \"%1\" "
                                                   "WHERE \"%2\" = t.\"%2\" - 1) ORDER BY \"%2\" DESC LIMIT 1")
                                        .arg(table, id));
        if (below.step())
            return below.integer(0);
    }
    throw DbError(DbError::Unknown, QStringLiteral("Impossibile aggiungere un termine: il glossario ha già usato "
                                                   "tutti i numeri di ID disponibili."));
}

bool hasRow(const Connection &connection, qint64 id)
{
    Statement row(connection, QStringLiteral("SELECT 1 FROM \"%1\" WHERE \"%2\" = ?1")
                                  .arg(names().table, names().columns[CatalogQuery::Id]));
    row.bind(1, QVariant(id));
    return row.step();
}

QString rowByIdSql()
{
    return QStringLiteral("SELECT * FROM \"%1\" WHERE \"%2\" = ?1").arg(names().table, names().columns[CatalogQuery::Id]);
}

qsizetype columnAt(const QStringList &columns, const QString &name)
{
    // Callers mostly spell a name as the table does: the exact comparison is the quick one.
    const qsizetype exact = columns.indexOf(name);
    if (exact >= 0)
        return exact;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

Entry entryOf(const QStringList &columns, const QVariantList &values)
{
    Entry entry;
    QVariant *const of[] = {&entry.id, &entry.term, &entry.definition};
    for (int c = CatalogQuery::Id; c <= CatalogQuery::Definition; ++c) {
        const qsizetype at = columnAt(columns, names().columns[c]);
        if (at >= 0)
            *of[c] = values.value(at);
    }
    return entry;
}

} // namespace glossary
