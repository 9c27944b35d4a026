#include "support/FormHarness.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using Marks = QList<QPair<qsizetype, qsizetype>>;

class TestSelection : public QObject {
    Q_OBJECT

    // The definition view as the user sees it: each run of bold red characters in brackets, blocks
    // joined by "\n", or by the space that the view breaks a long paragraph at. A character that is bold
    // or red but not both is a broken mark and fails the test.
    static QString shownWithMarks(const RichTextBox *view)
    {
        const QTextDocument *doc = view->document();
        const QString text = view->Text();
        QString out;
        bool inMark = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (doc->characterAt(int(i)) == QChar::ParagraphSeparator) {
                if (inMark)
                    out += u']';
                inMark = false;
                out += text[i];
                continue;
            }
            QTextCursor cursor(const_cast<QTextDocument *>(doc));
            cursor.setPosition(int(i));
            cursor.setPosition(int(i + 1), QTextCursor::KeepAnchor);
            const QTextCharFormat format = cursor.charFormat();
            const bool bold = format.fontWeight() == QFont::Bold;
            const bool red =
                format.foreground().style() != Qt::NoBrush && format.foreground().color() == QColor(255, 0, 0);
            if (bold != red) {
                QTest::qFail(qPrintable(QStringLiteral("half a mark at %1").arg(i)), __FILE__, __LINE__);
                return {};
            }
            if (bold != inMark)
                out += bold ? u'[' : u']';
            inMark = bold;
            out += text[i];
        }
        if (inMark)
            out += u']';
        return out;
    }

    static qint64 storedId(const TempGlossary &g, const QString &term, const QString &definition)
    {
        for (const auto &row : g.rows())
            if (row.term == term && row.definition == definition)
                return row.id;
        return -1;
    }

private slots:
    void evidenziaFindsEveryOccurrence_data()
    {
        QTest::addColumn<QString>("testo");
        QTest::addColumn<QString>("cerca");
        QTest::addColumn<Marks>("marks");
        const auto row = [](const char *name, const QString &testo, const QString &cerca, const Marks &marks) {
            QTest::newRow(name) << testo << cerca << marks;
        };
        row("no text", "", "a", {});
        row("no words", "abc", "", {});
        row("empty words mark nothing", "ab", "|a||b|", {{0, 1}, {1, 1}});
        row("overlapping", "aaa", "aa", {{0, 2}, {1, 2}});
        row("accented capitals", "Città, CITTÀ", "città", {{0, 5}, {7, 5}});
        row("inside longer words", "portata", "ta|or", {{3, 2}, {5, 2}, {1, 2}});
        row("capitals beyond 16 bits", QStringLiteral("x\U00010400\U00010428"), QStringLiteral("\U00010428"),
            {{1, 2}, {3, 2}});
        // A long text is searched in pieces of 32768 characters.
        row("across pieces of a long text", QString(32766, u'x') + QStringLiteral("ABCabc"), "bca|abc",
            {{32767, 3}, {32766, 3}, {32769, 3}});
        row("half a character beyond 16 bits across pieces", QString(32767, u'x') + QStringLiteral("\U00010400"),
            QString(QChar(0xdc28)), {{32768, 1}});
    }

    void evidenziaFindsEveryOccurrence()
    {
        QFETCH(QString, testo);
        QFETCH(QString, cerca);
        QFETCH(Marks, marks);
        QCOMPARE(Form1::Evidenzia(testo, cerca), marks);
    }

    void marksTheSearchedWords_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("definition");
        QTest::addColumn<QString>("termSearch");
        QTest::addColumn<QString>("definitionSearch");
        QTest::addColumn<QString>("shown");
        // Each row: term, definition, text of the term box, text of the definition box, what is shown.
        const auto row = [](const char *name, const QString &term, const QString &definition, const QString &termSearch,
                            const QString &definitionSearch, const QString &shown) {
            QTest::newRow(name) << term << definition << termSearch << definitionSearch << shown;
        };
        row("no search", "vento", "aria in moto", "", "", "aria in moto");
        row("every case", "Roma", "Roma, capitale: a ROMA e a roma", "roma", "",
            "[Roma], capitale: a [ROMA] e a [roma]");
        row("accented capitals", "città", "CITTÀ e Città", "città", "", "[CITTÀ] e [Città]");
        row("two words, inside longer words", "porta", "La portata della Casa, casale e porta", "", "casa porta",
            "La [porta]ta della [Casa], [casa]le e [porta]");
        row("overlapping", "aaa", "aaa", "aa", "", "[aaa]");
        row("blanks give empty words", "vento", "aria in moto", "", "aria  moto ", "[aria] in [moto]");
        row("apostrophe", "abito", "l'abito dell'uomo", "", "l'abito", "[l'abito] dell'uomo");
        row("only the definition box counts", "sole", "il sole e la luna", "sole", "luna", "il sole e la [luna]");
        row("one character", "mare", "Acqua salata", "a", "", "[A]cqu[a] s[a]l[a]t[a]");
        row("lines", "riga", "prima riga\nSeconda RIGA\n\nterza riga", "riga", "",
            "prima [riga]\nSeconda [RIGA]\n\nterza [riga]");
        row("lines ending in CR LF", "riga", "una riga\r\nsulla riga", "", "riga", "una [riga]\nsulla [riga]");
        row("a paragraph longer than the view lays out at once", "lungo", QStringLiteral("vento e mare ").repeated(900),
            "", "mare vento", QStringLiteral("[vento] e [mare] ").repeated(900));
        row("lines of a text longer than the view shows one by one", "righe",
            QStringLiteral("riga\r\ndel vento\n").repeated(14000), "", "vento riga",
            QStringLiteral("[riga]\ndel [vento]\n").repeated(14000));
    }

    void marksTheSearchedWords()
    {
        QFETCH(QString, term);
        QFETCH(QString, definition);
        QFETCH(QString, termSearch);
        QFETCH(QString, definitionSearch);
        QFETCH(QString, shown);
        // A twin that every search below also finds, with its marks elsewhere.
        const QString twin = term + QStringLiteral(" bis");
        FormHarness h({{term, definition}, {twin, QStringLiteral("bis ") + definition}});
        Form1 &f = *h.form;
        if (!termSearch.isEmpty())
            FormHarness::typeInto(f.Txt_Search, termSearch);
        // Set while the definition box has never lost the focus: it is not idle, so the term box keeps its text.
        if (!definitionSearch.isEmpty() && !termSearch.isEmpty())
            f.Txt_Search_Def->setText(definitionSearch);
        else if (!definitionSearch.isEmpty())
            FormHarness::typeInto(f.Txt_Search_Def, definitionSearch);
        QCOMPARE(f.Txt_Search->text(), termSearch);
        QCOMPARE(f.Txt_Search_Def->text(), definitionSearch);

        h.clickTerm(term);
        QCOMPARE(shownWithMarks(f.RichTextBox1), shown);
        // No mark carries over to the next selection, not even through a caret the user put inside a mark.
        if (const qsizetype firstMark = shown.indexOf(u'['); firstMark >= 0) {
            QTextCursor inside(f.RichTextBox1->document());
            inside.setPosition(int(firstMark + 1));
            QTest::mouseClick(f.RichTextBox1->viewport(), Qt::LeftButton, {},
                              f.RichTextBox1->cursorRect(inside).center());
            QCOMPARE(f.RichTextBox1->textCursor().position(), int(firstMark + 1));
        }
        h.clickTerm(twin);
        QCOMPARE(shownWithMarks(f.RichTextBox1), QStringLiteral("bis ") + shown);
        h.clickTerm(term);
        QCOMPARE(shownWithMarks(f.RichTextBox1), shown);
        QCOMPARE(f.TextDEFINIZIONE->Text(), definition);
        QCOMPARE(f.RichTextBox1->Text(), QString(definition).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QCOMPARE(f.TextPAROLA->text(), term);
        QCOMPARE(f.Text1->text(), QString::number(storedId(h.glossary, term, definition)));
        QVERIFY(h.boxes.shown().isEmpty());
    }

    void eachItemShowsItsOwnRow()
    {
        FormHarness h({{"a%b", "con il percento"},
                       {"axxb", "somiglia ad a%b"},
                       {"a_c", "con il trattino basso"},
                       {"abc", "somiglia ad a_c"},
                       {"l'abito", "con l'apostrofo"},
                       {"Roma", "con la maiuscola"},
                       {"roma", "con la minuscola"},
                       {"eco", "suono riflesso"},
                       {"eco", "ninfa"}});
        h.glossary.exec("INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (40000, 'alto', 'oltre 16 bit')");
        // Another table in the file changes nothing.
        h.glossary.exec("CREATE TABLE t2 AS SELECT 1");
        h.click(h.form->Command1);
        const QList<TempGlossary::StoredRow> stored = h.glossary.rows();
        QCOMPARE(h.listed().size(), stored.size());

        QList<TempGlossary::StoredRow> seen;
        for (int row = 0; row < stored.size(); ++row) {
            h.clickRow(row);
            const Form1 &f = *h.form;
            QCOMPARE(f.TextPAROLA->text(), h.listed()[row]);
            seen.append({f.Text1->text().toLongLong(), f.TextPAROLA->text(), f.TextDEFINIZIONE->Text()});
            QCOMPARE(f.RichTextBox1->Text(), seen.last().definition);
            QCOMPARE(f.Text1->text(), QString::number(seen.last().id));
        }
        std::sort(seen.begin(), seen.end(), [](const auto &a, const auto &b) { return a.id < b.id; });
        QCOMPARE(seen, stored);
        QCOMPARE(stored.last().id, qint64(40000));
        QVERIFY(h.boxes.shown().isEmpty());
    }

    void typingIntoTheDefinitionIsMirrored()
    {
        FormHarness h({{"alfa", "prima lettera"}});
        Form1 &f = *h.form;
        FormHarness::typeInto(f.Txt_Search_Def, "lettera");
        h.clickTerm("alfa");
        QTest::mouseClick(f.RichTextBox1->viewport(), Qt::LeftButton);
        QTest::keyClick(f.RichTextBox1, Qt::Key_End, Qt::ControlModifier);
        QString expected = QStringLiteral("prima lettera");
        for (const QChar c : QStringLiteral(" è greca")) {
            FormHarness::type(f.RichTextBox1, QString(c));
            expected += c;
            QCOMPARE(f.TextDEFINIZIONE->Text(), expected);
        }
        QTest::keyClick(f.RichTextBox1, Qt::Key_Return);
        QCOMPARE(f.TextDEFINIZIONE->Text(), expected + u'\n');
        QTest::keyClick(f.RichTextBox1, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(f.RichTextBox1, Qt::Key_Delete);
        QVERIFY(f.TextDEFINIZIONE->Text().isEmpty());
    }

    // The box under the view shows its text once nothing covers it any more.
    void theBoxUnderTheViewShowsTheDefinitionWhenUncovered()
    {
        FormHarness h({{"alfa", "prima\u00a0lettera\r\ndell'alfabeto"}});
        Form1 &f = *h.form;
        h.clickTerm("alfa");
        f.RichTextBox1->hide();
        f.TextDEFINIZIONE->viewport()->repaint();
        QCOMPARE(f.TextDEFINIZIONE->toPlainText(), QStringLiteral("prima lettera\ndell'alfabeto"));
        QCOMPARE(f.TextDEFINIZIONE->Text(), QStringLiteral("prima\u00a0lettera\r\ndell'alfabeto"));
    }

    void aFailedSelectionShowsTheErrorBox()
    {
        FormHarness h({{"alfa", "prima lettera"}, {"beta", "seconda lettera"}});
        Form1 &f = *h.form;
        h.clickTerm("alfa");
        h.glossary.exec("DELETE FROM Tbl_Zorvane WHERE Parola = 'beta'");
        h.boxes.answer(MsgBox::vbOK);
        h.clickTerm("beta");
        QCOMPARE(h.boxes.shown().size(), 1);
        QVERIFY2(h.boxes.last().prompt.startsWith(QStringLiteral("3021 ")), qPrintable(h.boxes.last().prompt));
        QVERIFY(h.boxes.last().prompt.size() > 5);
        QCOMPARE(h.boxes.last().style, 0);
        QCOMPARE(h.boxes.last().title, QStringLiteral("ZORVANE"));
        QVERIFY(f.isVisible());
        // The previous record must not stay on show as if it were the one chosen.
        QVERIFY(f.Text1->text().isEmpty());
        QVERIFY(f.TextPAROLA->text().isEmpty());
        QVERIFY(f.TextDEFINIZIONE->Text().isEmpty());
        QVERIFY(f.RichTextBox1->Text().isEmpty());

        // The window stays usable: choosing the same term again tries again, another term shows.
        h.boxes.answer(MsgBox::vbOK);
        h.clickTerm("beta");
        QCOMPARE(h.boxes.shown().size(), 2);
        QCOMPARE(h.boxes.last().prompt, h.boxes.shown().first().prompt);
        h.clickTerm("alfa");
        QCOMPARE(f.TextPAROLA->text(), QStringLiteral("alfa"));
        QCOMPARE(f.TextDEFINIZIONE->Text(), QStringLiteral("prima lettera"));
        QCOMPARE(f.Text1->text(), QString::number(storedId(h.glossary, "alfa", "prima lettera")));
        QCOMPARE(h.boxes.pending(), 0);
    }
};

QTEST_MAIN(TestSelection)
#include "tst_selection.moc"
