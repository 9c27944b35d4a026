#include "db/error/DbError.h"
#include "db/glossary/GlossaryPlace.h"
#include "db/glossary/Store.h"
#include "support/FormHarness.h"
#include "support/ReadOnlyPath.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>

#include <optional>

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void listsEveryTermInReadingOrder()
    {
        FormHarness h({{"zucchero", "dolce"}, {"Àncora", "attrezzo"}, {"perché", "causa"}, {"casa", "abitazione"},
                       {"Perche", "senza accento"}, {"l'abito", "veste"}});
        QCOMPARE(h.listed(), QStringList({"Àncora", "casa", "l'abito", "Perche", "perché", "zucchero"}));
        QCOMPARE(h.form->Label2->text(), QStringLiteral("6"));
        h.verifyRestingState();
        QVERIFY(!h.form->Text1->isVisible());
    }

    void emptyTableAndDuplicates()
    {
        FormHarness h;
        QVERIFY(h.listed().isEmpty());
        QCOMPARE(h.form->Label2->text(), QStringLiteral("0"));
        h.glossary.add({{"eco", "suono riflesso"}, {"eco", "ninfa"}});
        h.click(h.form->Command1);
        QCOMPARE(h.listed(), QStringList({"eco", "eco"}));
        QCOMPARE(h.form->Label2->text(), QStringLiteral("2"));
    }

    // An installed program's tree in a folder of its own: usr/bin, the sample in usr/share/zorvane, a home.
    void glossaryFolderFollowsTheInstallation_data()
    {
        QTest::addColumn<bool>("besideProgram");
        QTest::addColumn<bool>("readOnlyProgram");
        QTest::addColumn<bool>("sampleShipped");
        QTest::addColumn<bool>("userHasOne");
        QTest::addColumn<bool>("inUserFolder");
        QTest::addColumn<QString>("listed");
        QTest::newRow("portatile") << true << false << false << false << false << "vicino";
        QTest::newRow("installato, primo avvio") << false << true << true << false << true << "campione";
        // Root may write /usr/bin: the shipped sample alone tells the program it is installed.
        QTest::newRow("installato, avvii seguenti") << false << false << true << true << true << "proprio";
        QTest::newRow("sola lettura, con glossario") << true << true << true << false << false << "vicino";
    }

    void glossaryFolderFollowsTheInstallation()
    {
        QFETCH(bool, besideProgram);
        QFETCH(bool, readOnlyProgram);
        QFETCH(bool, sampleShipped);
        QFETCH(bool, userHasOne);
        QFETCH(bool, inUserFolder);
        QFETCH(QString, listed);
        const QTemporaryDir root;
        const QString program = root.path() + "/usr/bin", user = root.path() + "/home/.local/share/Zorvane";
        const QString sample = GlossaryPlace::sampleFile(program);
        const auto make = [](const QString &file, const QString &term) {
            QVERIFY(QDir().mkpath(QFileInfo(file).path()));
            GlossaryFile::create(file);
            GlossaryFile::append(file, {{term, "definizione di " + term}});
        };
        QVERIFY(QDir().mkpath(program));
        if (sampleShipped)
            make(sample, "campione");
        if (besideProgram)
            make(program + "/QUORLAN.mdb", "vicino");
        if (userHasOne)
            make(user + "/QUORLAN.mdb", "proprio");
        std::optional<ReadOnlyPath> readOnly;
        if (readOnlyProgram) {
            readOnly.emplace(program);
            if (readOnly->writable())
                QSKIP("neither permissions nor the immutable flag stop writes to the folder here");
        }

        const QString folder = GlossaryPlace::prepare(program, user);
        QCOMPARE(folder, inUserFolder ? user : program);
        QCOMPARE(QFileInfo::exists(user), inUserFolder || userHasOne);
        QCOMPARE(QFileInfo::exists(program + "/QUORLAN.mdb"), besideProgram);
        if (sampleShipped)
            QCOMPARE(GlossaryFile::readAll(sample),
                     QList<GlossaryFile::Row>({{"campione", "definizione di campione"}}));

        store::setAppPath(folder);
        BoxScript boxes;
        Form1 form;
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.List1[0]->model()->index(0, 0).data().toString(), listed);
        QCOMPARE(form.List1[0]->model()->rowCount(), 1);
        if (readOnlyProgram && besideProgram) {
            // Used as it is: the write that the folder refuses gets the usual numbered box.
            boxes.answer(MsgBox::vbOK);
            FormHarness::click(form.Cmd_Add);
            FormHarness::typeInto(form.TextPAROLA, "nuovo");
            FormHarness::typeInto(form.RichTextBox1, "non entra");
            FormHarness::click(form.Cmd_Edit);
            QCOMPARE(boxes.shown().size(), 1);
            QVERIFY2(boxes.last().prompt.startsWith("3051 "), qPrintable(boxes.last().prompt));
        }
        store::setAppPath(QString());
    }

    void layoutAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("RichTextBox1") << "RichTextBox1" << QRect(6120, 3435, 5055, 4815);
        QTest::newRow("TextDEFINIZIONE") << "TextDEFINIZIONE" << QRect(6120, 3435, 5055, 4815);
        QTest::newRow("Command1") << "Command1" << QRect(3120, 2280, 6495, 255);
        QTest::newRow("Cmd_Add") << "Cmd_Add" << QRect(3120, 1920, 2175, 375);
        QTest::newRow("Cmd_Delete") << "Cmd_Delete" << QRect(7440, 1920, 2175, 375);
        QTest::newRow("Cmd_Edit") << "Cmd_Edit" << QRect(5280, 1920, 2175, 375);
        QTest::newRow("Text1") << "Text1" << QRect(240, 1320, 735, 375);
        QTest::newRow("List1") << "List1" << QRect(1680, 3000, 4335, 5250);
        QTest::newRow("TextPAROLA") << "TextPAROLA" << QRect(6120, 3000, 4815, 375);
        QTest::newRow("Txt_Search") << "Txt_Search" << QRect(1920, 1080, 4095, 285);
        QTest::newRow("Txt_Search_Def") << "Txt_Search_Def" << QRect(6720, 1080, 4095, 285);
        QTest::newRow("Label56") << "Label56" << QRect(4560, 8640, 3015, 255);
        QTest::newRow("Image2") << "Image2" << QRect(1680, 1680, 9480, 1035);
        QTest::newRow("Image1") << "Image1" << QRect(1680, 840, 9435, 765);
        QTest::newRow("Label1") << "Label1" << QRect(1680, 2760, 1935, 255);
        QTest::newRow("Label2") << "Label2" << QRect(3600, 2760, 735, 255);
        QTest::newRow("Image3") << "Image3" << QRect(0, 0, 11250, 9000);
    }

    void layoutAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        FormHarness h;
        auto *w = h.form->findChild<QWidget *>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), QRect(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0),
                                      qRound(twips.width() / 15.0), qRound(twips.height() / 15.0)));
        QCOMPARE(h.form->centralWidget()->size(), QSize(752, 611));
    }

    void maximisingScalesByOneFactorAndRestoringGivesTheDesignBack()
    {
        FormHarness h({{"alfa", "prima lettera"}});
        Form1 &f = *h.form;
        const QRect designEdit = f.Cmd_Edit->geometry(), designList = f.List1[0]->geometry();
        const double designFont = f.Cmd_Edit->font().pointSizeF();
        f.showMaximized();
        QTRY_VERIFY(f.centralWidget()->size() != QSize(752, 611));
        const QSize client = f.centralWidget()->size();
        const double factor = (client.width() / 752.0 + client.height() / 611.0) / 2;
        // One factor for both directions: the mean of the two ratios, to within a pixel's rounding.
        QVERIFY(qAbs(f.Cmd_Edit->x() - designEdit.x() * factor) <= 1);
        QVERIFY(qAbs(f.Cmd_Edit->y() - designEdit.y() * factor) <= 1);
        QVERIFY(qAbs(f.List1[0]->width() - designList.width() * factor) <= 1);
        QVERIFY(qAbs(f.List1[0]->height() - designList.height() * factor) <= 1);
        QVERIFY(qAbs(f.Cmd_Edit->font().pointSizeF() - designFont * factor) < 0.01);
        QCOMPARE(f.Cmd_Edit->font().family(), QStringLiteral("Verdana"));

        f.showNormal();
        QTRY_COMPARE(f.centralWidget()->size(), QSize(752, 611));
        QCOMPARE(f.Cmd_Edit->geometry(), designEdit);
        QCOMPARE(f.List1[0]->geometry(), designList);
        QCOMPARE(f.Cmd_Edit->font().pointSizeF(), designFont);
    }

    void stackingTabOrderAndNames()
    {
        FormHarness h;
        const Form1 &f = *h.form;
        const QObjectList stack = f.centralWidget()->children();
        // Later siblings are drawn above earlier ones: the backdrop first, the definition view last.
        QCOMPARE(stack.first(), f.Image3);
        QCOMPARE(stack.last(), f.RichTextBox1);
        QVERIFY(stack.indexOf(f.TextDEFINIZIONE) < stack.indexOf(f.RichTextBox1));
        QVERIFY(stack.indexOf(f.Image1) < stack.indexOf(f.Txt_Search));

        const QList<QWidget *> chain = {f.Txt_Search, f.Txt_Search_Def, f.List1[0], f.Cmd_Add, f.Cmd_Edit,
                                        f.Cmd_Delete, f.Command1, f.TextPAROLA, f.Label56, f.RichTextBox1};
        h.form->Txt_Search->setFocus(Qt::TabFocusReason);
        for (int i = 0; i + 1 < chain.size(); ++i) {
            QCOMPARE(QApplication::focusWidget(), chain[i]);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget(), chain.last());

        QCOMPARE(f.Txt_Search->accessibleName(), QStringLiteral("CERCA NEI TERMINI"));
        QCOMPARE(f.Txt_Search_Def->accessibleName(), QStringLiteral("CERCA NELLE DEFINIZIONI"));
        QCOMPARE(f.List1[0]->accessibleName(), QStringLiteral("TERMINI PRESENTI"));
        QCOMPARE(f.TextPAROLA->accessibleName(), QStringLiteral("Termine"));
        QCOMPARE(f.RichTextBox1->accessibleName(), QStringLiteral("Definizione"));
        QCOMPARE(f.Label56->toolTip(), QStringLiteral("Collegati al sito"));
        QCOMPARE(f.Label56->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(f.Label1->text(), QStringLiteral("TERMINI PRESENTI"));
        QVERIFY(f.windowTitle().startsWith(QStringLiteral("ZORVANE")));
        QVERIFY(f.windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(!(f.windowFlags() & Qt::WindowMinimizeButtonHint));
        QCOMPARE(f.List1[0]->font().pointSizeF(), 6.75);
        QCOMPARE(f.TextPAROLA->font().pointSizeF(), 9.0);
        QVERIFY(f.TextPAROLA->font().bold());
        QVERIFY(f.Cmd_Add->font().bold());

        QCOMPARE(f.SELECT_PRINT->title(), QStringLiteral("STAMPA"));
        QCOMPARE(f.Print_Termine->text(), QStringLiteral("Termine Selezionato"));
        QCOMPARE(f.Menu_INFO->title(), QStringLiteral("INFO"));
        QCOMPARE(f.Vis_Versione->text(), QStringLiteral("Versione Zorvane"));
        const auto menus = f.menuBar()->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(menus[0]->menu(), f.SELECT_PRINT);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
