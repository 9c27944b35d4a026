#include "support/FormHarness.h"

class TestSearch : public QObject {
    Q_OBJECT

    // Every prefix of two or more characters of the texts typed below finds something, so the only
    // boxes are the ones a test asks for.
    static std::unique_ptr<FormHarness> glossary()
    {
        return std::make_unique<FormHarness>(std::initializer_list<GlossaryFile::Row>{
            {"porta di casa", "ingresso dell'abitazione"},
            {"casa con porta", "edificio"},
            {"casale", "abitazione di campagna"},
            {"portale", "grande ingresso"},
            {"l'abito", "veste"},
            {"labito", "refuso"},
            {"CITTÀ", "centro abitato"},
            {"città vecchia", "quartiere antico"},
            {"csa", "sigla"},
            {"zafferano", "spezia di colore giallo"},
            {"Azzurro", "colore del cielo"},
            {"blu", "un colore scuro"},
        });
    }

    static SearchBox *box(const Form1 &f, bool byDefinition) { return byDefinition ? f.Txt_Search_Def : f.Txt_Search; }

    static void verifyDetailsEmpty(const Form1 &f)
    {
        QVERIFY(f.TextPAROLA->text().isEmpty());
        QVERIFY(f.TextDEFINIZIONE->Text().isEmpty());
        QVERIFY(f.RichTextBox1->Text().isEmpty());
    }

private slots:
    void listsTheRowsHoldingEveryWord_data()
    {
        QTest::addColumn<bool>("byDefinition");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        const QStringList both{"casa con porta", "porta di casa"};
        QTest::newRow("two words") << false << "casa porta" << both;
        QTest::newRow("two words, other order") << false << "porta casa" << both;
        QTest::newRow("trailing blank") << false << "casa porta " << both;
        QTest::newRow("double blank") << false << "casa  porta" << both;
        QTest::newRow("a word twice") << false << "ab  ab" << QStringList{"l'abito", "labito"};
        QTest::newRow("apostrophe") << false << "l'ab" << QStringList{"l'abito"};
        QTest::newRow("percent is a wildcard") << false << "p%e" << QStringList{"portale"};
        QTest::newRow("underscore is one character")
            << false << "c_sa" << QStringList{"casa con porta", "casale", "porta di casa"};
        // Folding is tst_textmatch's; this row shows that the search folds.
        QTest::newRow("small letters find capitals") << false << "città" << QStringList{"CITTÀ", "città vecchia"};
        QTest::newRow("definitions list terms by term")
            << true << "colore" << QStringList{"Azzurro", "blu", "zafferano"};
        QTest::newRow("definitions, two words") << true << "zione abita" << QStringList{"casale", "porta di casa"};
    }

    void listsTheRowsHoldingEveryWord()
    {
        QFETCH(bool, byDefinition);
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        auto h = glossary();
        FormHarness::typeInto(box(*h->form, byDefinition), typed);
        QCOMPARE(h->listed(), expected);
        QCOMPARE(h->form->Label2->text(), QString::number(expected.size()));
        QCOMPARE(box(*h->form, byDefinition)->text(), typed);
        QVERIFY(h->boxes.shown().isEmpty());
    }

    void oneCharacterRunsNoQuery()
    {
        auto h = glossary();
        const QStringList all = h->listed();
        h->clickTerm("casale");
        QCOMPARE(h->form->TextPAROLA->text(), QStringLiteral("casale"));

        FormHarness::typeInto(h->form->Txt_Search, "p");
        verifyDetailsEmpty(*h->form);
        QCOMPARE(h->listed(), all);
        QCOMPARE(h->form->Label2->text(), QString::number(all.size()));

        QTest::keyClick(h->form->Txt_Search, Qt::Key_O);
        const QStringList found{"casa con porta", "porta di casa", "portale"};
        QCOMPARE(h->listed(), found);
        QCOMPARE(h->form->Label2->text(), QStringLiteral("3"));

        // Shortening, down to an empty box, leaves the last result on show.
        h->clickTerm("portale");
        QTest::keyClick(h->form->Txt_Search, Qt::Key_Backspace);
        QCOMPARE(h->form->Txt_Search->text(), QStringLiteral("p"));
        verifyDetailsEmpty(*h->form);
        QCOMPARE(h->listed(), found);
        QTest::keyClick(h->form->Txt_Search, Qt::Key_Backspace);
        QVERIFY(h->form->Txt_Search->text().isEmpty());
        QCOMPARE(h->listed(), found);
        QCOMPARE(h->form->Label2->text(), QStringLiteral("3"));
        QVERIFY(h->boxes.shown().isEmpty());
    }

    void nothingFound_data()
    {
        QTest::addColumn<bool>("byDefinition");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("title");
        QTest::newRow("term") << false << "portx"
                              << "Non è stata trovata nessun Termine con le seguenti parole chiave < portx > !!!"
                              << "TERMINE NON TROVATO !!";
        QTest::newRow("term with apostrophe")
            << false << "l'abx"
            << "Non è stata trovata nessun Termine con le seguenti parole chiave < l'abx > !!!"
            << "TERMINE NON TROVATO !!";
        QTest::newRow("definition")
            << true << "vestx"
            << "Non è stata trovata nessuna Definizione con le seguenti parole chiave < vestx > !!!"
            << "Definizione non trovata !!";
        QTest::newRow("definition with apostrophe")
            << true << "dell'x"
            << "Non è stata trovata nessuna Definizione con le seguenti parole chiave < dell'x > !!!"
            << "Definizione non trovata !!";
    }

    void nothingFound()
    {
        QFETCH(bool, byDefinition);
        QFETCH(QString, typed);
        QFETCH(QString, prompt);
        QFETCH(QString, title);
        auto h = glossary();
        h->boxes.answer(MsgBox::vbOK);
        FormHarness::typeInto(box(*h->form, byDefinition), typed);
        QCOMPARE(h->boxes.shown().size(), 1);
        verifyBox(h->boxes.last(), prompt, 48, title);
        QVERIFY(h->listed().isEmpty());
        QCOMPARE(h->form->Label2->text(), QStringLiteral("0"));
        QCOMPARE(box(*h->form, byDefinition)->text(), typed);
        verifyDetailsEmpty(*h->form);

        // The next keystroke searches again.
        QTest::keyClick(box(*h->form, byDefinition), Qt::Key_Backspace);
        QVERIFY(!h->listed().isEmpty());
    }

    void focusColours()
    {
        auto h = glossary();
        Form1 &f = *h->form;
        SearchBox *term = f.Txt_Search;
        SearchBox *def = f.Txt_Search_Def;
        // The window's first focus goes to the term box, which is an entry like any other.
        QCOMPARE(QApplication::focusWidget(), term);
        QCOMPARE(term->BackColor(), Form1::FocusColour);
        QVERIFY(!def->BackColor());

        QTest::mouseClick(def, Qt::LeftButton);
        QCOMPARE(def->BackColor(), Form1::FocusColour);
        QTest::mouseClick(term, Qt::LeftButton);
        QCOMPARE(term->BackColor(), Form1::FocusColour);
        QCOMPARE(def->BackColor(), Form1::IdleColour);
        QTest::mouseClick(f.List1[0]->viewport(), Qt::LeftButton);
        QCOMPARE(term->BackColor(), Form1::IdleColour);

        // Another window coming up is not the user leaving the box, nor is coming back to it.
        QTest::mouseClick(term, Qt::LeftButton);
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QCOMPARE(term->BackColor(), Form1::FocusColour);
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QCOMPARE(QApplication::focusWidget(), term);
        QCOMPARE(term->BackColor(), Form1::FocusColour);
        QCOMPARE(def->BackColor(), Form1::IdleColour);
    }

    void aBoxThatNeverLostTheFocusIsNotEmptied()
    {
        auto h = glossary();
        Form1 &f = *h->form;
        FormHarness::typeInto(f.Txt_Search, "ca");
        // The definition box has never held the focus: it is not idle, so neither box empties the other.
        f.Txt_Search_Def->setText(QStringLiteral("colore"));
        QCOMPARE(f.Txt_Search->text(), QStringLiteral("ca"));
        QCOMPARE(h->listed(), QStringList({"Azzurro", "blu", "zafferano"}));
        QTest::keyClick(f.Txt_Search, Qt::Key_S);
        QCOMPARE(f.Txt_Search_Def->text(), QStringLiteral("colore"));
        QCOMPARE(h->listed(), QStringList({"casa con porta", "casale", "porta di casa"}));
        QVERIFY(h->boxes.shown().isEmpty());
    }

    void typingInOneBoxEmptiesTheIdleOther()
    {
        auto h = glossary();
        Form1 &f = *h->form;
        FormHarness::typeInto(f.Txt_Search, "cas");
        QCOMPARE(h->listed(), QStringList({"casa con porta", "casale", "porta di casa"}));
        h->clickTerm("casale");

        // The first key empties the term box; its nested search must not empty the box being typed in.
        FormHarness::typeInto(f.Txt_Search_Def, "c");
        QVERIFY(f.Txt_Search->text().isEmpty());
        QCOMPARE(f.Txt_Search_Def->text(), QStringLiteral("c"));
        QCOMPARE(f.Txt_Search_Def->BackColor(), Form1::FocusColour);
        verifyDetailsEmpty(f);
        QCOMPARE(h->listed(), QStringList({"casa con porta", "casale", "porta di casa"}));
        QTest::keyClicks(f.Txt_Search_Def, "olore");
        QCOMPARE(h->listed(), QStringList({"Azzurro", "blu", "zafferano"}));

        QTest::mouseClick(f.Txt_Search, Qt::LeftButton);
        QTest::keyClicks(f.Txt_Search, "por");
        QVERIFY(f.Txt_Search_Def->text().isEmpty());
        QCOMPARE(f.Txt_Search_Def->BackColor(), Form1::IdleColour);
        QCOMPARE(h->listed(), QStringList({"casa con porta", "porta di casa", "portale"}));

        // Coming back to a box selects its whole text (once the click has placed the caret): typing replaces it.
        h->clickTerm("portale");
        QTest::mouseClick(f.Txt_Search, Qt::LeftButton);
        QCoreApplication::processEvents();
        QTest::keyClicks(f.Txt_Search, "csa");
        QCOMPARE(f.Txt_Search->text(), QStringLiteral("csa"));
        QCOMPARE(h->listed(), QStringList({"csa"}));
        QVERIFY(h->boxes.shown().isEmpty());
    }
};

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
