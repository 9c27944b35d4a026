#include "RawGlossary.h"
#include "app/Startup.h"
#include "db/glossary/Store.h"
#include "db/recordset/ConnectionPool.h"
#include "support/Files.h"
#include "support/FormHarness.h"
#include "support/JetFixtures.h"
#include "support/OtherProgramLock.h"
#include "support/ReadOnlyPath.h"
#include "support/SmallDisk.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <optional>

enum class Fault {
    None,
    Missing,
    WrongPassword,
    RekeyedInPlace,
    Locked,
    NoiseInPages,
    NoiseOddSize,
    PlainSqlite,
    Empty,
    NoTable,
    TableRenamed,
    ReadOnlyFile,
    ReadOnlyFolder,
    OldFormatOtherPassword,
    OldFormatNoTable,
    OldFormatTruncated,
    OldFormatReadOnlyFolder,
};
enum class Op { Search, Select, ShowAll, Save };
Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Op)

namespace {

using Rows = QList<TempGlossary::StoredRow>;

const QString Locked = QStringLiteral("3051 Il file '%1' è bloccato da un altro programma. Riprovare più tardi.");
const QString ReadOnly = QStringLiteral("3051 Impossibile scrivere nel file '%1': il file o la sua cartella sono di "
                                        "sola lettura o l'accesso non è consentito.");
const QString WrongPassword =
    QStringLiteral("3031 Password non valida per il file '%1', oppure il file non è un glossario.");
const QString Missing = QStringLiteral("3024 Impossibile trovare il file '%1'.");
const QString NotAGlossary = QStringLiteral("3343 Formato di database non riconosciuto: il file '%1' %2.");

QString notAGlossary(const char *why)
{
    return NotAGlossary.arg(QStringLiteral("%1"), QString::fromUtf8(why));
}

using Files::entries;
using Files::replaceFile;
using Files::writeFile;

QByteArray noise(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (char &b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

// Keyed files are made once: each one costs a key derivation.
QByteArray madeOnce(const std::function<void(const QString &)> &make)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("fatto.mdb"));
    make(file);
    return Files::bytesOf(file);
}

const QByteArray &otherKeyGlossary()
{
    static const QByteArray bytes = madeOnce([](const QString &file) {
        GlossaryFile::create(file, QStringLiteral("ALTRA"));
        GlossaryFile::append(file, {{"alfa", "la prima lettera"}}, QStringLiteral("ALTRA"));
    });
    return bytes;
}

const QByteArray &keyedWithoutTheTable()
{
    static const QByteArray bytes =
        madeOnce([](const QString &file) { execOn(file, GlossaryKey, "CREATE TABLE Altro (x)"); });
    return bytes;
}

// A fault put on the glossary by another program or a person, and taken away again.
class FaultScene {
public:
    FaultScene(const QString &file, const QString &folder)
        : m_file(file), m_folder(folder), m_original(Files::bytesOf(file))
    {
    }

    void apply(Fault fault)
    {
        switch (fault) {
        case Fault::None:
            break;
        case Fault::Missing:
            QVERIFY(QFile::remove(m_file));
            break;
        case Fault::WrongPassword:
            replaceFile(m_file, otherKeyGlossary());
            break;
        case Fault::RekeyedInPlace:
            // Same inode, new contents: the kept connection's file is no longer the same file.
            writeFile(m_file, otherKeyGlossary());
            break;
        case Fault::Locked:
            m_lock.emplace(m_file, "BEGIN EXCLUSIVE");
            QVERIFY(m_lock->held());
            break;
        case Fault::NoiseInPages:
            replaceFile(m_file, noise(2 * 4096));
            break;
        case Fault::NoiseOddSize:
            replaceFile(m_file, noise(4096 + 1));
            break;
        case Fault::PlainSqlite:
            QVERIFY(QFile::remove(m_file));
            execOn(m_file, {},
                   "CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY, Parola TEXT, Definizione TEXT);"
                   "INSERT INTO Tbl_Zorvane (Parola, Definizione) VALUES ('alfa', 'la prima lettera')");
            break;
        case Fault::Empty:
            writeFile(m_file, QByteArray());
            break;
        case Fault::NoTable:
            replaceFile(m_file, keyedWithoutTheTable());
            break;
        case Fault::TableRenamed:
            execOn(m_file, GlossaryKey, "ALTER TABLE Tbl_Zorvane RENAME TO Altro");
            break;
        case Fault::ReadOnlyFile:
            m_readOnly.emplace(m_file);
            break;
        case Fault::ReadOnlyFolder:
            m_readOnly.emplace(m_folder);
            break;
        case Fault::OldFormatOtherPassword:
            JetFixtures::placeAsGlossary(QStringLiteral("altra-password.mdb"), m_folder);
            break;
        case Fault::OldFormatNoTable:
            JetFixtures::placeAsGlossary(QStringLiteral("senza-tabella.mdb"), m_folder);
            break;
        case Fault::OldFormatTruncated:
            JetFixtures::placeAsGlossary(QStringLiteral("troncato.mdb"), m_folder);
            break;
        case Fault::OldFormatReadOnlyFolder:
            JetFixtures::placeAsGlossary(QStringLiteral("senza-password.mdb"), m_folder);
            m_readOnly.emplace(m_folder);
            break;
        }
    }

    // True when a read-only fault could not be put on here.
    bool protectionMissing() const { return m_readOnly && m_readOnly->writable(); }

    void restore()
    {
        m_lock.reset();
        m_readOnly.reset();
        if (!QFile::exists(m_file) || Files::bytesOf(m_file) != m_original) {
            QFile::remove(m_file);
            writeFile(m_file, m_original);
        }
    }

private:
    QString m_file;
    QString m_folder;
    QByteArray m_original;
    std::optional<OtherProgramLock> m_lock;
    std::optional<ReadOnlyPath> m_readOnly;
};

// Everything up to the one user action that meets the fault, from whatever the previous action left.
void prepare(FormHarness &h, Op op)
{
    switch (op) {
    case Op::Search:
        FormHarness::retype(h.form->Txt_Search, QStringLiteral("a"));
        break;
    case Op::Select:
        h.click(h.form->Command1);
        QCOMPARE(h.listed(), QStringList({"alfa", "beta"}));
        break;
    case Op::ShowAll:
        FormHarness::retype(h.form->Txt_Search, QStringLiteral("be"));
        QCOMPARE(h.listed(), QStringList({"beta"}));
        break;
    case Op::Save:
        h.click(h.form->Cmd_Add);
        FormHarness::typeInto(h.form->TextPAROLA, QStringLiteral("gamma"));
        FormHarness::typeInto(h.form->RichTextBox1, QStringLiteral("la terza lettera"));
        break;
    }
}

void perform(FormHarness &h, Op op)
{
    switch (op) {
    case Op::Search:
        FormHarness::type(h.form->Txt_Search, QStringLiteral("l"));
        break;
    case Op::Select:
        h.clickTerm(QStringLiteral("alfa"));
        break;
    case Op::ShowAll:
        h.click(h.form->Command1);
        break;
    case Op::Save:
        h.click(h.form->Cmd_Edit);
        break;
    }
}

// What the user sees once the action has gone through.
void verifyDone(FormHarness &h, Op op, const Rows &before)
{
    switch (op) {
    case Op::Search:
        QCOMPARE(h.listed(), QStringList({"alfa"}));
        QCOMPARE(h.form->Label2->text(), QStringLiteral("1"));
        break;
    case Op::Select:
        QCOMPARE(h.form->TextPAROLA->text(), QStringLiteral("alfa"));
        QCOMPARE(h.form->TextDEFINIZIONE->Text(), QStringLiteral("la prima lettera"));
        QCOMPARE(h.form->Text1->text(), QString::number(before[0].id));
        break;
    case Op::ShowAll:
        QVERIFY(h.form->Txt_Search->text().isEmpty());
        QCOMPARE(h.listed(), QStringList({"alfa", "beta"}));
        break;
    case Op::Save: {
        Rows after = before;
        after.append({before.last().id + 1, "gamma", "la terza lettera"});
        QCOMPARE(h.glossary.rows(), after);
        QCOMPARE(h.listed(), QStringList({"alfa", "beta", "gamma"}));
        QCOMPARE(h.form->Cmd_Edit->text(), QStringLiteral("MODIFICA"));
        break;
    }
    }
}

// Ends the application's event loop as soon as it runs after the main window appeared or an error box
// was shown, so that a start that goes on into the loop by mistake cannot keep a test waiting. Stopped
// once the start has returned, so nothing of it is left for later loops.
class LoopWatch : public QObject {
public:
    static constexpr int EndedByTest = 42;

    LoopWatch()
    {
        m_end.setSingleShot(true);
        m_end.setInterval(0);
        connect(&m_end, &QTimer::timeout, [] { QCoreApplication::exit(EndedByTest); });
        qApp->installEventFilter(this);
    }
    ~LoopWatch() override { qApp->removeEventFilter(this); }

    void arm() { m_end.start(); }
    void disarm() { m_end.stop(); }

    int shows = 0;
    QStringList listedWhenShown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *form = qobject_cast<Form1 *>(watched)) {
                ++shows;
                const auto *model = form->List1[0]->model();
                for (int i = 0; i < model->rowCount(); ++i)
                    listedWhenShown.append(model->index(i, 0).data().toString());
                arm();
            }
        }
        return false;
    }

private:
    QTimer m_end;
};

// The program's start as main runs it, every box answered OK and the windows on show when it came. An
// error box ends the event loop; an information box is on the way to the window.
struct ProgramRun {
    LoopWatch loop;
    QList<MsgBox::Request> boxes;
    QStringList visibleAtBox;
    int result = 0;

    ProgramRun()
    {
        MsgBox::setHandler([this](const MsgBox::Request &request) {
            boxes.append(request);
            for (const QWidget *w : QApplication::topLevelWidgets()) {
                if (w->isVisible())
                    visibleAtBox.append(QString::fromLatin1(w->metaObject()->className()));
            }
            if ((request.style & 0x70) != 64)
                loop.arm();
            return int(MsgBox::vbOK);
        });
        result = runZorvane(*qApp);
        loop.disarm();
        MsgBox::setHandler({});
    }
};

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

    std::optional<SmallDisk> m_smallDisk;

    static void meetFault(FormHarness &h, Fault fault, Op op, const QString &prompt, const Rows &stored)
    {
        const QString file = h.glossary.file();
        const QString folder = h.glossary.folder();
        h.boxes.clear();
        prepare(h, op);
        FaultScene scene(file, folder);
        scene.apply(fault);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(!scene.protectionMissing(), "the path stayed writable");
        const QByteArray bytes = Files::bytesOf(file);
        QCOMPARE(entries(folder), QStringList({"QUORLAN.mdb"}));

        if (!prompt.isEmpty())
            h.boxes.answer(MsgBox::vbOK);
        perform(h, op);
        QCOMPARE(h.boxes.pending(), 0);
        QVERIFY(h.form->isVisible());
        if (prompt.isEmpty()) {
            QCOMPARE(h.boxes.shown().size(), 0);
            verifyDone(h, op, stored);
        } else {
            QCOMPARE(h.boxes.shown().size(), 1);
            verifyBox(h.boxes.last(), prompt.arg(file));
        }
        QVERIFY2(Files::bytesOf(file) == bytes, "the file's bytes changed");
        QCOMPARE(entries(folder), QStringList({"QUORLAN.mdb"}));

        const bool saveFailed = op == Op::Save && !prompt.isEmpty();
        if (saveFailed) {
            // Nothing typed is lost: the same click goes through once the fault is gone.
            QCOMPARE(h.form->Cmd_Edit->text(), QStringLiteral("SALVA"));
            QCOMPARE(h.form->TextPAROLA->text(), QStringLiteral("gamma"));
            QCOMPARE(h.form->TextDEFINIZIONE->Text(), QStringLiteral("la terza lettera"));
        }
        scene.restore();
        if (saveFailed) {
            perform(h, op);
            verifyDone(h, op, stored);
        }
        FormHarness::retype(h.form->Txt_Search, QStringLiteral("be"));
        QCOMPARE(h.listed(), QStringList({"beta"}));
        QCOMPARE(h.boxes.shown().size(), prompt.isEmpty() ? 0 : 1);
        QCOMPARE(entries(folder), QStringList({"QUORLAN.mdb"}));
    }

private slots:
    void cleanup() { m_smallDisk.reset(); }

    void aFailedStartShowsOneBoxAndNoWindow_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("sound glossary") << Fault::None << QString();
        QTest::newRow("file missing") << Fault::Missing << Missing;
        QTest::newRow("wrong password") << Fault::WrongPassword << WrongPassword;
        QTest::newRow("not a glossary") << Fault::PlainSqlite << notAGlossary("è un database SQLite senza protezione");
        QTest::newRow("locked") << Fault::Locked << Locked;
        // An old Jet glossary that cannot be carried over stays exactly as it was.
        QTest::newRow("old format, other password") << Fault::OldFormatOtherPassword << WrongPassword;
        QTest::newRow("old format, no Tbl_Zorvane")
            << Fault::OldFormatNoTable << notAGlossary("non contiene la tabella Tbl_Zorvane");
        QTest::newRow("old format, truncated")
            << Fault::OldFormatTruncated
            << QStringLiteral("3049 Il file '%1' è danneggiato: la sua lunghezza non è un numero intero di pagine: "
                              "è stato troncato.");
        QTest::newRow("old format, read-only folder")
            << Fault::OldFormatReadOnlyFolder
            << QStringLiteral("3051 Impossibile convertire il glossario '%1': la cartella '%2' deve essere scrivibile.");
    }

    void aFailedStartShowsOneBoxAndNoWindow()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, prompt);
        TempGlossary glossary({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        FaultScene scene(glossary.file(), glossary.folder());
        scene.apply(fault);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(!scene.protectionMissing(), "the path stayed writable");
        const QByteArray bytes = Files::bytesOf(glossary.file());

        ProgramRun run;
        const auto &[loop, boxes, visibleAtBox, result] = run;

        if (prompt.isEmpty()) {
            QVERIFY(boxes.isEmpty());
            QCOMPARE(loop.shows, 1);
            QCOMPARE(loop.listedWhenShown, QStringList({"alfa", "beta"}));
            // What the event loop ended with is what the program ends with.
            QCOMPARE(result, LoopWatch::EndedByTest);
            return;
        }
        QCOMPARE(boxes.size(), 1);
        verifyBox(boxes.first(), QString(prompt)
                                     .replace(QStringLiteral("%1"), glossary.file())
                                     .replace(QStringLiteral("%2"), glossary.folder()));
        QCOMPARE(visibleAtBox, QStringList());
        if (fault != Fault::Missing) {
            QVERIFY2(Files::bytesOf(glossary.file()) == bytes, "the file's bytes changed");
            QCOMPARE(entries(glossary.folder()), QStringList({"QUORLAN.mdb"}));
        }
        QCOMPARE(loop.shows, 0);
        QCOMPARE(result, 1);
        for (const QWidget *w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), w->metaObject()->className());
    }

    void anOldGlossaryIsCarriedOverBeforeTheWindow_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<bool>("throughLink"); // the glossary's name a link to the old file in another folder
        QTest::newRow("room enough") << false << false;
        // The old file (1,012 KiB) fits, the new one beside it does not.
        QTest::newRow("full disk") << true << false;
        QTest::newRow("the glossary a link") << false << true;
    }

    void anOldGlossaryIsCarriedOverBeforeTheWindow()
    {
        QFETCH(bool, fullDisk);
        QFETCH(bool, throughLink);
        const QString fixture = QStringLiteral("glossario-2000.mdb");
        TempGlossary glossary;
        QString folder = glossary.folder();
        if (fullDisk) {
            m_smallDisk.emplace(QStringLiteral("1200k"));
            if (!m_smallDisk->mounted())
                QSKIP(qPrintable("a small file system cannot be mounted here (" + m_smallDisk->why() + ")"));
            folder = m_smallDisk->path();
        }
        store::setAppPath(folder);
        const auto back = qScopeGuard([&] { store::setAppPath(glossary.folder()); });
        const QString file = JetFixtures::placeAsGlossary(fixture, folder);
        if (throughLink) {
            QVERIFY(QDir(folder).mkdir(QStringLiteral("altrove")));
            QVERIFY(QFile::rename(file, folder + QStringLiteral("/altrove/QUORLAN.mdb")));
            QVERIFY(QFile::link(QStringLiteral("altrove/QUORLAN.mdb"), file));
            folder += QStringLiteral("/altrove");
        }

        ProgramRun run;
        const auto &[loop, boxes, visibleAtBox, result] = run;

        QCOMPARE(boxes.size(), 1);
        QCOMPARE(visibleAtBox, QStringList());
        if (fullDisk) {
            verifyBox(boxes.first(),
                      QStringLiteral("3026 Spazio su disco insufficiente per convertire il glossario '%1'.").arg(file));
            QCOMPARE(result, 1);
            QCOMPARE(Files::bytesOf(file), Files::bytesOf(JetFixtures::path(fixture)));
            QCOMPARE(entries(folder), QStringList({"QUORLAN.mdb"}));
            return;
        }
        verifyBox(boxes.first(),
                  throughLink
                      ? QStringLiteral("Il glossario è stato convertito nel nuovo formato protetto: 329 termini "
                                       "trasferiti.\n\"QUORLAN.mdb\" è un collegamento a \"%1/QUORLAN.mdb\", che ora "
                                       "contiene il nuovo glossario; il file originale è conservato come "
                                       "\"%1/QUORLAN-originale.mdb\".")
                            .arg(folder)
                      : QStringLiteral("Il glossario è stato convertito nel nuovo formato protetto: 329 termini "
                                       "trasferiti.\nIl file originale è conservato con il nome "
                                       "\"QUORLAN-originale.mdb\"."),
                  64);
        QCOMPARE(result, LoopWatch::EndedByTest);
        QCOMPARE(loop.shows, 1);
        QCOMPARE(loop.listedWhenShown.size(), 329);
        QCOMPARE(entries(folder), QStringList({"QUORLAN-originale.mdb", "QUORLAN.mdb"}));
        QCOMPARE(Files::bytesOf(folder + QStringLiteral("/QUORLAN-originale.mdb")),
                 Files::bytesOf(JetFixtures::path(fixture)));
        QVERIFY(GlossaryFile::readRecords(file) == JetFixtures::expected(fixture));
    }

    void aFaultMidSessionIsReportedAndChangesNothing_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<bool>("withSave");
        QTest::addColumn<QString>("saving");
        const QString noise = notAGlossary("non è un database");
        QTest::newRow("wrong password") << Fault::WrongPassword << WrongPassword << true << WrongPassword;
        QTest::newRow("rekeyed in place") << Fault::RekeyedInPlace << WrongPassword << true << WrongPassword;
        // Pages of random bytes cannot be told from a glossary keyed with another password.
        QTest::newRow("random pages") << Fault::NoiseInPages << WrongPassword << true << WrongPassword;
        // Saving into a locked or read-only file is the editing tests' own.
        QTest::newRow("held exclusively") << Fault::Locked << Locked << false << QString();
        QTest::newRow("random bytes, odd size") << Fault::NoiseOddSize << noise << true << noise;
        const QString plain = notAGlossary("è un database SQLite senza protezione");
        QTest::newRow("plain SQLite") << Fault::PlainSqlite << plain << true << plain;
        const QString empty = notAGlossary("è vuoto");
        QTest::newRow("empty") << Fault::Empty << empty << true << empty;
        const QString noTable = notAGlossary("non contiene la tabella Tbl_Zorvane");
        QTest::newRow("keyed, no Tbl_Zorvane") << Fault::NoTable << noTable << true << noTable;
        const QString renamed = notAGlossary("non ha più la tabella Tbl_Zorvane con le sue colonne");
        QTest::newRow("table renamed by another program") << Fault::TableRenamed << renamed << true << renamed;
        // Reading a read-only glossary is no failure; only a write needs the folder.
        QTest::newRow("read-only file") << Fault::ReadOnlyFile << QString() << false << QString();
        QTest::newRow("read-only folder") << Fault::ReadOnlyFolder << QString() << true << ReadOnly;
    }

    // One window meets the fault in each user action in turn, the fault taken away after each: the
    // window is loaded once per fault because every load pays the key derivation again.
    void aFaultMidSessionIsReportedAndChangesNothing()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, reading);
        QFETCH(bool, withSave);
        QFETCH(QString, saving);
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        if (fault == Fault::ReadOnlyFile || fault == Fault::ReadOnlyFolder) {
            const ReadOnlyPath probe(fault == Fault::ReadOnlyFile ? h.glossary.file() : h.glossary.folder());
            if (probe.writable())
                QSKIP("neither permissions nor the immutable flag stop writes here");
        }
        const Rows stored = h.glossary.rows();
        const std::pair<const char *, Op> ops[] = {
            {"search keystroke", Op::Search}, {"selection", Op::Select}, {"VISUALIZZA TUTTO", Op::ShowAll},
            {"save", Op::Save}};
        for (const auto &[opName, op] : ops) {
            if (op == Op::Save && !withSave)
                continue;
            meetFault(h, fault, op, op == Op::Save ? saving : reading, stored);
            if (QTest::currentTestFailed()) {
                qInfo("failed at the %s", opName);
                return;
            }
        }
    }

    void aFullDiskFailsTheSaveAndKeepsTheFile_data()
    {
        QTest::addColumn<int>("sparePages");
        QTest::addColumn<int>("definitionLength");
        QTest::addColumn<bool>("sameBytes");
        // The journal cannot even be begun, so the file is never touched.
        QTest::newRow("nothing left") << 0 << 0 << true;
        // The journal fits but the file cannot grow by the long definition: the pages written are put
        // back from the journal, the same rows but encrypted afresh, so only the contents can be compared.
        QTest::newRow("room for the journal only") << 1 << 20000 << false;
    }

    void aFullDiskFailsTheSaveAndKeepsTheFile()
    {
        QFETCH(int, sparePages);
        QFETCH(int, definitionLength);
        QFETCH(bool, sameBytes);
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        const Rows before = h.glossary.rows();
        m_smallDisk.emplace(QStringLiteral("256k"));
        if (!m_smallDisk->mounted())
            QSKIP(qPrintable("a small file system cannot be mounted here (" + m_smallDisk->why() + ")"));
        const QString folder = m_smallDisk->path();
        const QString file = folder + QStringLiteral("/QUORLAN.mdb");
        QVERIFY(QFile::copy(h.glossary.file(), file));
        store::setAppPath(folder);
        h.click(h.form->Command1);
        QCOMPARE(h.listed(), QStringList({"alfa", "beta"}));
        prepare(h, Op::Save);
        QString definition = QStringLiteral("la terza lettera");
        if (definitionLength > 0) {
            // Pasted, as a user would bring in a long text.
            definition = QString(definitionLength, u'q');
            QApplication::clipboard()->setText(definition);
            QTest::keyClick(h.form->RichTextBox1, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(h.form->RichTextBox1, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(h.form->TextDEFINIZIONE->Text(), definition);
        }

        const QString fillerName = m_smallDisk->fill(sparePages);
        QVERIFY(!fillerName.isEmpty());
        const QByteArray bytes = Files::bytesOf(file);

        h.boxes.answer(MsgBox::vbOK);
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.pending(), 0);
        QCOMPARE(h.boxes.shown().size(), 1);
        verifyBox(h.boxes.last(),
                  QStringLiteral("3026 Spazio su disco insufficiente per scrivere nel file '%1'.").arg(file));
        if (sameBytes)
            QVERIFY2(Files::bytesOf(file) == bytes, "the file's bytes changed");
        QCOMPARE(entries(folder), QStringList({"QUORLAN.mdb", "riempitivo"}));
        QCOMPARE(h.form->Cmd_Edit->text(), QStringLiteral("SALVA"));
        QCOMPARE(h.form->TextDEFINIZIONE->Text(), definition);

        QVERIFY(QFile::remove(fillerName));
        {
            RawGlossary raw(file);
            QCOMPARE(raw.integrityCheck(), QStringLiteral("ok"));
            QCOMPARE(raw.rows(), before);
        }
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.shown().size(), 1);
        RawGlossary raw(file);
        Rows after = before;
        after.append({before.last().id + 1, "gamma", definition});
        QCOMPARE(raw.rows(), after);
        QCOMPARE(h.listed(), QStringList({"alfa", "beta", "gamma"}));
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
