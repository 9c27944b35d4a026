#include "db/glossary/Store.h"
#include "platform/shell/Shell.h"
#include "support/Files.h"
#include "support/FormHarness.h"
#include "support/SmallDisk.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QScopeGuard>

#include <optional>

#include <unistd.h>

namespace {

using Calls = QList<QPair<Shell::Kind, QString>>;

// A loaded window whose requests to the desktop are taken and answered here, so that no program starts.
struct ExportHarness : FormHarness {
    Calls shellCalls;
    bool shellAccepts = true;

    explicit ExportHarness(std::initializer_list<GlossaryFile::Row> rows = {}) : FormHarness(rows)
    {
        Shell::setHandler([this](Shell::Kind kind, const QString &target) {
            shellCalls.append({kind, target});
            return shellAccepts;
        });
    }
    ~ExportHarness() { Shell::setHandler({}); }

    QString exportFile() const { return glossary.folder() + QStringLiteral("/ZORVANE.txt"); }
    void exportShown() const { form->Print_Termine->trigger(); }
};

const QString DownloadPage = QStringLiteral("www.pelvaro.example/Pelvaro_Download.asp");

// Every line after the date line, the definition's own lines in the middle.
QStringList documentAfterDate(const QString &term, const QStringList &definitionLines)
{
    const QString stars(61, u'*'), rule(88, u'-');
    return QStringList{"", "", "Z O R V A N E", "", term} + definitionLines +
           QStringList{"", stars, "Dati elaborati dal 'ZORVANE' a cura di Edizioni Pelvaro", rule, DownloadPage, rule};
}

// The date lines that the system's short formats give for any second between the two moments.
QStringList dateLinesBetween(const QDateTime &from, const QDateTime &to)
{
    const QLocale locale = QLocale::system();
    QStringList lines;
    for (QDateTime t = from.addMSecs(-from.time().msec()); t <= to; t = t.addSecs(1))
        lines.append(QStringLiteral("DATA: ") + locale.toString(t.date(), QLocale::ShortFormat) +
                     QStringLiteral("   ORE: ") + locale.toString(t.time(), QLocale::ShortFormat));
    return lines;
}

using Files::bytesOf;
using Files::writeFile;

// Exports what the window shows, answering the saved-file box, and checks the file byte by byte.
void verifyExport(ExportHarness &h, const QString &term, const QStringList &definitionLines)
{
    h.boxes.answer(MsgBox::vbOK);
    const QDateTime before = QDateTime::currentDateTime();
    h.exportShown();
    const QDateTime after = QDateTime::currentDateTime();

    const QByteArray bytes = bytesOf(h.exportFile());
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
    QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
    lines.removeLast();
    QVERIFY(!lines.isEmpty());
    const QString dateLine = lines.takeFirst();
    QVERIFY2(dateLinesBetween(before, after).contains(dateLine), qPrintable(dateLine));
    QCOMPARE(lines, documentAfterDate(term, definitionLines));
}

// The one box shown so far said this.
void verifyOneBox(const BoxScript &boxes, const QString &prompt, const QString &title, int style)
{
    QCOMPARE(boxes.shown().size(), 1);
    verifyBox(boxes.last(), prompt, style, title);
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

public:
    enum class Obstacle { MissingFolder, FolderIsAFile, ExportIsAFolder, ReadOnlyFolder, FullDisk, ReadOnlyDisk };
    Q_ENUM(Obstacle)

private slots:
    void writesTheShownTermLineByLine_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("definitionLines");
        QTest::newRow("una riga") << "casa" << "abitazione" << "" << QStringList{"abitazione"};
        QTest::newRow("più righe") << "eco" << "suono riflesso\ndalle pareti\n\nninfa" << ""
                                   << QStringList{"suono riflesso", "dalle pareti", "", "ninfa"};
        QTest::newRow("a capo CR LF") << "eco" << "prima\r\nseconda" << "" << QStringList{"prima", "seconda"};
        QTest::newRow("accenti") << "perché" << "città – «è»" << "" << QStringList{"città – «è»"};
        QTest::newRow("parole cercate") << "eco" << "suono riflesso" << "suono rifl" << QStringList{"suono riflesso"};
    }

    void writesTheShownTermLineByLine()
    {
        QFETCH(QString, term);
        QFETCH(QString, stored);
        QFETCH(QString, search);
        QFETCH(QStringList, definitionLines);
        ExportHarness h({{term, stored}});
        if (!search.isEmpty())
            FormHarness::typeInto(h.form->Txt_Search_Def, search);
        h.clickTerm(term);
        verifyExport(h, term, definitionLines);
        verifyOneBox(h.boxes,
                     QStringLiteral("Il File 'ZORVANE.txt' è stato salvato in:  ") + h.glossary.folder() + u'/',
                     QStringLiteral("ZORVANE by pelvaro.example"), 1);
        QCOMPARE(h.shellCalls, (Calls{{Shell::Kind::File, h.exportFile()}}));
    }

    // What is at the name is replaced, a link too: never written through to the open glossary. The other
    // links are tst_wholefile's, the writer both exports share.
    void exportReplacesWhatIsAtTheName_data()
    {
        QTest::addColumn<bool>("link");
        QTest::newRow("a previous export") << false;
        QTest::newRow("a link to the glossary") << true;
    }

    void exportReplacesWhatIsAtTheName()
    {
        QFETCH(bool, link);
        ExportHarness h({{"alfa", "prima lettera"}, {"beta", "seconda lettera"}});
        const QByteArray glossaryBytes = bytesOf(h.glossary.file());
        if (link)
            QVERIFY(QFile::link(h.glossary.file(), h.exportFile()));
        else
            writeFile(h.exportFile(), QByteArray(20000, 'x'));
        h.clickTerm("alfa");
        verifyExport(h, "alfa", {"prima lettera"});
        QCOMPARE(h.boxes.shown().size(), 1);
        QCOMPARE(bytesOf(h.glossary.file()), glossaryBytes);
        QCOMPARE(Files::entries(h.glossary.folder()).filter(QStringLiteral(".ZORVANE")), QStringList());
        QVERIFY(!QFileInfo(h.exportFile()).isSymLink());
        h.clickTerm("beta");
        verifyExport(h, "beta", {"seconda lettera"});
        QVERIFY(!bytesOf(h.exportFile()).contains("alfa"));
    }

    void exportsTheTypedTextsOfAnInsert_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("definition");
        QTest::newRow("testo nuovo") << "gamma" << "terza lettera";
        QTest::newRow("solo spazi") << "   " << "  ";
    }

    void exportsTheTypedTextsOfAnInsert()
    {
        QFETCH(QString, term);
        QFETCH(QString, definition);
        ExportHarness h({{"alfa", "prima lettera"}});
        h.clickTerm("alfa");
        h.click(h.form->Cmd_Add);
        FormHarness::typeInto(h.form->TextPAROLA, term);
        FormHarness::typeInto(h.form->RichTextBox1, definition);
        verifyExport(h, term, {definition});
        // Exporting saves nothing and leaves the insert under way.
        QCOMPARE(h.form->Cmd_Edit->text(), QStringLiteral("SALVA"));
        QCOMPARE(h.glossary.rows(), (QList<TempGlossary::StoredRow>{{1, "alfa", "prima lettera"}}));
    }

    void refusesAnEmptyTermOrDefinition_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("definition");
        QTest::newRow("nulla selezionato") << "" << "";
        QTest::newRow("solo il termine") << "delta" << "";
        QTest::newRow("solo la definizione") << "" << "quarta lettera";
    }

    void refusesAnEmptyTermOrDefinition()
    {
        QFETCH(QString, term);
        QFETCH(QString, definition);
        ExportHarness h({{"alfa", "prima lettera"}});
        h.click(h.form->Cmd_Add);
        FormHarness::typeInto(h.form->RichTextBox1, definition);
        FormHarness::typeInto(h.form->TextPAROLA, term);
        QVERIFY(!h.list()->hasFocus());

        h.boxes.answer(MsgBox::vbOK);
        h.exportShown();
        verifyOneBox(h.boxes, QStringLiteral("Non è stata selezionato nessun Termine!!"),
                     QStringLiteral("MANCANZA DATI"), 48);
        QVERIFY(h.list()->hasFocus());
        QVERIFY(!QFile::exists(h.exportFile()));
        QVERIFY(h.shellCalls.isEmpty());
    }

    void opensTheSavedFileWhicheverButton_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("opened");
        QTest::newRow("OK") << int(MsgBox::vbOK) << true;
        QTest::newRow("Annulla") << int(MsgBox::vbCancel) << true;
        QTest::newRow("nessun programma") << int(MsgBox::vbOK) << false;
    }

    void opensTheSavedFileWhicheverButton()
    {
        QFETCH(int, answer);
        QFETCH(bool, opened);
        ExportHarness h({{"alfa", "prima lettera"}});
        h.shellAccepts = opened;
        h.clickTerm("alfa");
        h.boxes.answer(answer);
        if (!opened)
            h.boxes.answer(MsgBox::vbOK);
        h.exportShown();
        QCOMPARE(h.shellCalls, (Calls{{Shell::Kind::File, h.exportFile()}}));
        QVERIFY(QFile::exists(h.exportFile()));
        QCOMPARE(h.boxes.shown().size(), opened ? 1 : 2);
        if (!opened) {
            QCOMPARE(h.boxes.last().prompt,
                     QStringLiteral("Il file '%1' è stato salvato, ma nessun programma ha potuto aprirlo.")
                         .arg(h.exportFile()));
            QCOMPARE(h.boxes.last().style, 48);
        }
    }

    void openFileKnowsOnlyTheOpenVerb()
    {
        ExportHarness h;
        QVERIFY(!h.form->OpenFile(h.form->winId(), h.exportFile(), "print", "", ""));
        QVERIFY(h.shellCalls.isEmpty());
        QVERIFY(h.form->OpenFile(h.form->winId(), h.exportFile(), "open", "", ""));
        QCOMPARE(h.shellCalls, (Calls{{Shell::Kind::File, h.exportFile()}}));
    }

    void aPlaceThatCannotBeWrittenGivesTheBox_data()
    {
        QTest::addColumn<Obstacle>("obstacle");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cartella inesistente") << Obstacle::MissingFolder << "la cartella non esiste";
        QTest::newRow("la cartella è un file") << Obstacle::FolderIsAFile << "la cartella non esiste";
        QTest::newRow("ZORVANE.txt è una cartella") << Obstacle::ExportIsAFolder << "al suo posto c'è una cartella";
        QTest::newRow("cartella protetta, nessun file") << Obstacle::ReadOnlyFolder << "accesso negato";
        QTest::newRow("disco pieno") << Obstacle::FullDisk << "spazio su disco insufficiente";
        QTest::newRow("disco di sola lettura") << Obstacle::ReadOnlyDisk << "il disco è di sola lettura";
    }

    void aPlaceThatCannotBeWrittenGivesTheBox()
    {
        QFETCH(Obstacle, obstacle);
        QFETCH(QString, reason);
        if (obstacle == Obstacle::ReadOnlyFolder && geteuid() == 0)
            QSKIP("permissions do not stop the superuser");
        ExportHarness h({{"alfa", "prima lettera"}});
        h.clickTerm("alfa");
        const QString folder = h.glossary.folder();
        QString appPath = folder;
        std::optional<SmallDisk> disk;
        switch (obstacle) {
        case Obstacle::MissingFolder:
            appPath = folder + QStringLiteral("/manca");
            break;
        case Obstacle::FolderIsAFile:
            appPath = folder + QStringLiteral("/un_file");
            writeFile(appPath, "non una cartella");
            break;
        case Obstacle::ExportIsAFolder:
            QVERIFY(QDir(folder).mkdir(QStringLiteral("ZORVANE.txt")));
            break;
        case Obstacle::ReadOnlyFolder:
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            break;
        case Obstacle::FullDisk:
        case Obstacle::ReadOnlyDisk:
            disk.emplace(QStringLiteral("256k"));
            if (!disk->mounted())
                QSKIP(qPrintable("a small file system cannot be mounted here (" + disk->why() + ")"));
            appPath = disk->path();
            QVERIFY(QFile::copy(h.glossary.file(), appPath + QStringLiteral("/QUORLAN.mdb")));
            QVERIFY(obstacle == Obstacle::FullDisk ? !disk->fill().isEmpty() : disk->makeReadOnly());
            break;
        }
        // The temporary folder must be writable again to be removed.
        const auto restore = qScopeGuard(
            [&] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
        store::setAppPath(appPath);

        h.boxes.answer(MsgBox::vbOK);
        h.exportShown();
        verifyOneBox(h.boxes, QStringLiteral("Impossibile salvare il file '%1/ZORVANE.txt': %2.").arg(appPath, reason),
                     QStringLiteral("ZORVANE"), 0);
        QVERIFY(h.shellCalls.isEmpty());
        QVERIFY(!QFileInfo::exists(h.exportFile()) || obstacle == Obstacle::ExportIsAFolder);
        QCOMPARE((Files::entries(folder) + Files::entries(appPath)).filter(QStringLiteral(".ZORVANE")), QStringList());
    }

    void aboutBoxNamesTheVersion()
    {
        ExportHarness h;
        h.boxes.answer(MsgBox::vbOK);
        h.form->Vis_Versione->trigger();
        QCOMPARE(h.boxes.shown().size(), 1);
        QVERIFY2(h.boxes.last().prompt.startsWith(QStringLiteral("Zorvane versione " ZORVANE_VERSION "\n")),
                 qPrintable(h.boxes.last().prompt));
        QCOMPARE(h.boxes.last().title, QStringLiteral("Versione Zorvane"));
        QCOMPARE(h.boxes.last().style, 64);
        QVERIFY(h.shellCalls.isEmpty());
    }

    void updateLinkOpensTheDownloadPage()
    {
        ExportHarness h;
        const QString page = QStringLiteral("http://") + DownloadPage;
        // Each click is a request of its own.
        QTest::mouseClick(h.form->Label56, Qt::LeftButton);
        QTest::mouseClick(h.form->Label56, Qt::LeftButton);
        QCOMPARE(h.shellCalls, (Calls{{Shell::Kind::Url, page}, {Shell::Kind::Url, page}}));
        QVERIFY(h.boxes.shown().isEmpty());

        h.shellAccepts = false;
        h.boxes.answer(MsgBox::vbOK);
        QTest::mouseClick(h.form->Label56, Qt::LeftButton);
        QCOMPARE(h.shellCalls.size(), 3);
        verifyOneBox(h.boxes, QStringLiteral("Impossibile aprire la pagina %1: nessun browser ha risposto.").arg(page),
                     QStringLiteral("ZORVANE"), 48);
    }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"
