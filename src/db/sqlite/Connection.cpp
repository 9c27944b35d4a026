#include "db/sqlite/Connection.h"

#include "db/error/DbError.h"
#include "db/sqlite/Statement.h"
#include "db/query/TextMatch.h"

#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include <unistd.h>

namespace {

// Long enough to ride out another program's short write, short enough that a held lock is reported
// while the user is still looking at the window.
constexpr int BusyTimeoutMs = 500;

QStringView textArg(sqlite3_value *v)
{
    const auto *p = static_cast<const char16_t *>(sqlite3_value_text16(v));
    return QStringView(p, sqlite3_value_bytes16(v) / 2);
}

void resultText(sqlite3_context *ctx, QStringView s)
{
    sqlite3_result_text16(ctx, s.utf16(), int(s.size() * 2), SQLITE_TRANSIENT);
}

void likeFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_int(ctx, TextMatch::like(textArg(argv[0]), textArg(argv[1])) ? 1 : 0);
}

void leftFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    resultText(ctx, TextMatch::leftCharacters(textArg(argv[0]), sqlite3_value_int64(argv[1])));
}

void rightFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    resultText(ctx, TextMatch::rightCharacters(textArg(argv[0]), sqlite3_value_int64(argv[1])));
}

void sortKeyFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const QByteArray key = TextMatch::sortKey(textArg(argv[0]));
    sqlite3_result_blob(ctx, key.constData(), int(key.size()), SQLITE_TRANSIENT);
}

void registerFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "zv_like", 2, flags, nullptr, likeFunction, nullptr, nullptr);
    sqlite3_create_function(db, "zv_left", 2, flags, nullptr, leftFunction, nullptr, nullptr);
    sqlite3_create_function(db, "zv_right", 2, flags, nullptr, rightFunction, nullptr, nullptr);
    sqlite3_create_function(db, "zv_sortkey", 1, flags, nullptr, sortKeyFunction, nullptr, nullptr);
}

QString notAGlossary(const QString &file, const QString &why)
{
    return QStringLiteral("Formato di database non riconosciuto: il file '%1' %2.").arg(file, why);
}

} // namespace

Connection::Connection(const ConnectionTarget &target) : m_file(target.dataSource)
{
    const QFileInfo info(m_file);
    if (!info.exists())
        throw DbError(DbError::FileNotFound, QStringLiteral("Impossibile trovare il file '%1'.").arg(m_file));
    if (!info.isFile())
        throw DbError(DbError::NotAGlossary, notAGlossary(m_file, QStringLiteral("non è un file")));

    // SQLCipher cannot tell a wrong key from bytes that were never a database; the cheap signs that
    // the file is not ours are checked first so that they never read as a wrong password.
    QFile raw(m_file);
    if (!raw.open(QIODevice::ReadOnly))
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Impossibile aprire il file '%1': accesso non consentito.").arg(m_file));
    const QByteArray head = raw.read(16);
    const qint64 size = raw.size();
    raw.close();
    if (size == 0)
        throw DbError(DbError::NotAGlossary, notAGlossary(m_file, QStringLiteral("è vuoto")));
    if (head.startsWith(QByteArrayLiteral("SQLite format 3")))
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(m_file, QStringLiteral("è un database SQLite senza protezione")));
    if (size % 512 != 0)
        throw DbError(DbError::NotAGlossary, notAGlossary(m_file, QStringLiteral("non è un database")));

    const QByteArray path = QFile::encodeName(m_file);
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    // Owned at once, also when the open failed, so that any throw from here on closes it.
    m_db.reset(db);
    if (rc != SQLITE_OK)
        fail(rc);
    keyAndCheck(target);
}

void Connection::keyAndCheck(const ConnectionTarget &target)
{
    const QByteArray key = target.password.toUtf8();
    sqlite3 *db = handle();
    sqlite3_key(db, key.constData(), int(key.size()));
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    // A kept connection serves many operations; its page cache is checked against the file by SQLite
    // at every read, so a larger one never shows stale rows.
    sqlite3_exec(db, "PRAGMA cache_size = -32768", nullptr, nullptr, nullptr);
    registerFunctions(db);
    checkIsGlossary();
}

void Connection::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

qint64 Connection::changes() const
{
    return sqlite3_changes(handle());
}

void Connection::exec(const char *sql)
{
    const int rc = sqlite3_exec(handle(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
}

void Connection::checkIsGlossary()
{
    Statement info(*this, "PRAGMA table_info(\"Tbl_Zorvane\")");
    bool id = false, term = false, definition = false, rowKey = false;
    int keys = 0;
    while (info.step()) {
        const QString name = info.text(1);
        keys += info.integer(5) != 0;
        if (name.compare(u"ID", Qt::CaseInsensitive) == 0) {
            id = true;
            // Only a lone INTEGER PRIMARY KEY is the row's own number: unique, whole, never null.
            rowKey = info.integer(5) == 1 && info.text(2).compare(u"INTEGER", Qt::CaseInsensitive) == 0;
        } else if (name.compare(u"Parola", Qt::CaseInsensitive) == 0) {
            term = true;
        } else if (name.compare(u"Definizione", Qt::CaseInsensitive) == 0) {
            definition = true;
        }
    }
    if (!id && !term && !definition)
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(m_file, QStringLiteral("non contiene la tabella Tbl_Zorvane")));
    if (!id || !term || !definition)
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(m_file, QStringLiteral("non ha le colonne ID, Parola e Definizione")));
    if (!rowKey || keys != 1)
        throw DbError(DbError::NotAGlossary,
                      notAGlossary(m_file, QStringLiteral("ha una colonna ID che non identifica ogni riga: deve essere "
                                                          "la sola chiave primaria, di tipo INTEGER")));
}

void Connection::fail(int rc) const
{
    fail(rc, m_db ? QString::fromUtf8(sqlite3_errmsg(handle())) : QString());
}

bool Connection::writable() const
{
    const QByteArray path = QFile::encodeName(m_file);
    const QByteArray folder = QFile::encodeName(QFileInfo(m_file).absolutePath());
    return access(path.constData(), W_OK) == 0 && access(folder.constData(), W_OK) == 0;
}

void Connection::fail(int rc, const QString &detail) const
{
    // A connection kept from before the file became read-only meets it as an I/O error on writing;
    // the user is owed the same answer a fresh open gives.
    if (((rc & 0xff) == SQLITE_IOERR || (rc & 0xff) == SQLITE_CANTOPEN) && !writable())
        rc = SQLITE_READONLY;
    switch (rc & 0xff) {
    case SQLITE_NOTADB:
        throw DbError(DbError::WrongPassword,
                      // Encrypted bytes look like any other bytes: say both things it may be.
                      QStringLiteral("Password non valida per il file '%1', oppure il file non è un glossario.")
                          .arg(m_file));
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Il file '%1' è bloccato da un altro programma. Riprovare più tardi.")
                          .arg(m_file));
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        throw DbError(DbError::FileLocked,
                      QStringLiteral("Impossibile scrivere nel file '%1': il file o la sua cartella sono di sola "
                                     "lettura o l'accesso non è consentito.")
                          .arg(m_file));
    case SQLITE_FULL:
        throw DbError(DbError::DiskFull,
                      QStringLiteral("Spazio su disco insufficiente per scrivere nel file '%1'.").arg(m_file));
    case SQLITE_CORRUPT:
        throw DbError(DbError::Corrupt, QStringLiteral("Il file '%1' è danneggiato.").arg(m_file));
    case SQLITE_ERROR:
        // Another program changed the table under a kept connection.
        if (detail.startsWith(QStringLiteral("no such table")) || detail.startsWith(QStringLiteral("no such column")))
            throw DbError(DbError::NotAGlossary,
                          notAGlossary(m_file, QStringLiteral("non ha più la tabella Tbl_Zorvane con le sue colonne")));
        throw DbError(DbError::Unknown, QStringLiteral("Errore del database sul file '%1' (%2).").arg(m_file, detail));
    case SQLITE_IOERR:
        throw DbError(DbError::Unknown,
                      QStringLiteral("Errore di lettura o scrittura del file '%1' (%2).").arg(m_file, detail));
    default:
        throw DbError(DbError::Unknown, QStringLiteral("Errore del database sul file '%1' (%2).").arg(m_file, detail));
    }
}
