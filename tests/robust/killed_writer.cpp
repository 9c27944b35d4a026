// Writes to a glossary without end, for a test that kills it at random moments.
//   killed_writer write FOLDER RUN   adds and modifies rows through the recordset, as the window does, and
//                                    prints one line once each UpdateBatch has returned
//   killed_writer hold FOLDER TEXT   leaves a large change half-done in the file and waits to be killed
#include "WriterPlan.h"
#include "db/error/DbError.h"
#include "db/glossary/GlossaryFile.h"
#include "db/glossary/Store.h"
#include "db/recordset/Recordset.h"

#include <QCoreApplication>
#include <QFile>

#include <sqlcipher/sqlite3.h>

#include <cstdio>
#include <unistd.h>

namespace {

void report(const QString &line)
{
    const QByteArray bytes = (line + u'\n').toUtf8();
    // One write of one whole line: a kill leaves either the line or nothing of it.
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

int writeForever(int run)
{
    for (qint64 step = 0;; ++step) {
        const QString term = WriterPlan::term(run, step);
        Recordset rs;
        if (WriterPlan::adds(step)) {
            rs.Open(store::QueryAllRows(), store::ConnectionString(), 1, 3, 1);
            rs.AddNew();
            const qint64 id = rs.Fields("ID").Value().toLongLong();
            rs.Fields("PAROLA").setValue(term);
            rs.Fields("DEFINIZIONE").setValue(WriterPlan::definition(term));
            rs.Fields("ID").setValue(id);
            rs.UpdateBatch();
            report(QStringLiteral("added %1 %2").arg(id).arg(term));
        } else {
            const qint64 id = WriterPlan::target(step);
            rs.Open(store::QueryRowById(id), store::ConnectionString(), 1, 3, 1);
            rs.Fields("PAROLA").setValue(term);
            rs.Fields("DEFINIZIONE").setValue(WriterPlan::definition(term));
            rs.UpdateBatch();
            report(QStringLiteral("modified %1 %2").arg(id).arg(term));
        }
    }
}

// A transaction too big for a small page cache: SQLite must write some of its pages into the file itself
// before the commit, so that only the journal can undo it.
int holdHalfDone(const QString &file, const QString &text)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const QByteArray key = GlossaryFile::DefaultPassword.toUtf8();
    sqlite3_key(db, key.constData(), int(key.size()));
    const QByteArray definition = QString(text).replace(u'\'', QStringLiteral("''")).repeated(400).toUtf8();
    const QByteArray sql = "PRAGMA cache_size = 10; BEGIN IMMEDIATE; UPDATE Tbl_Zorvane SET Definizione = '" +
        definition + "'; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                     "INSERT INTO Tbl_Zorvane (Parola, Definizione) SELECT 'nuovo ' || i, '" +
        definition + "' FROM n;";
    char *error = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", error ? error : "errore");
        return 2;
    }
    report(QStringLiteral("holding"));
    for (;;)
        pause();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 || (args[1] != u"write" && args[1] != u"hold")) {
        std::fprintf(stderr, "uso: killed_writer write CARTELLA GIRO | hold CARTELLA TESTO\n");
        return 1;
    }
    store::setAppPath(args[2]);
    try {
        if (args[1] == u"write")
            return writeForever(args[3].toInt());
        return holdHalfDone(args[2] + QStringLiteral("/QUORLAN.mdb"), args[3]);
    } catch (const DbError &e) {
        std::fprintf(stderr, "%d %s\n", e.number(), qPrintable(e.description()));
        return 2;
    }
}
