#include "support/Files.h"
#include "support/FormHarness.h"
#include "support/OtherProgramLock.h"
#include "support/ReadOnlyPath.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>

#include <optional>

enum class Op { Save, Modify, Delete };
enum class Fault { ReadOnly, Locked, Reading, RowGone };
Q_DECLARE_METATYPE(Op)
Q_DECLARE_METATYPE(Fault)

namespace {

using Rows = QList<TempGlossary::StoredRow>;

const QString MissingDataPrompt =
    QStringLiteral("Non sono stati compilati tutti i dati richiesti o non è stato selezionato nessun Termine");
const QString SimilarPrompt = QStringLiteral("Un TERMINE o DEFINIZIONE simile a questa, è gia presente !!!");
const QString DeletePrompt = QStringLiteral("Vuoi Veramente eliminare il TERMINE selezionato?");

// Long enough that its first and last 20 characters are not the whole of it.
const QString LongDefinition =
    QStringLiteral("una definizione lunga quanto basta per avere un inizio e una fine riconoscibili");

void startInsert(FormHarness &h, const QString &term, const QString &definition)
{
    h.click(h.form->Cmd_Add);
    if (!term.isEmpty())
        FormHarness::typeInto(h.form->TextPAROLA, term);
    if (!definition.isEmpty())
        FormHarness::typeInto(h.form->RichTextBox1, definition);
}

qint64 nextId(const Rows &rows)
{
    return rows.isEmpty() ? 1 : rows.last().id + 1;
}

Rows without(Rows rows, qint64 id)
{
    rows.removeIf([id](const TempGlossary::StoredRow &r) { return r.id == id; });
    return rows;
}

Rows withRow(Rows rows, const TempGlossary::StoredRow &row)
{
    rows = without(rows, row.id);
    rows.append(row);
    std::sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) { return a.id < b.id; });
    return rows;
}

// What the glossary holds once the operation has gone through.
Rows afterOp(const Rows &before, Op op, qint64 id, const QString &term, const QString &definition)
{
    switch (op) {
    case Op::Save:
        return withRow(before, {nextId(before), term, definition});
    case Op::Modify:
        return withRow(before, {id, term, definition});
    case Op::Delete:
        break;
    }
    return without(before, id);
}

void clickOp(FormHarness &h, Op op)
{
    h.click(op == Op::Delete ? h.form->Cmd_Delete : h.form->Cmd_Edit);
}

void verifyEntry(const Form1 &f, const QString &term, const QString &definition)
{
    QCOMPARE(f.TextPAROLA->text(), term);
    QCOMPARE(f.TextDEFINIZIONE->Text(), definition);
    QCOMPARE(f.RichTextBox1->Text(), definition);
}

void verifyInsertState(const Form1 &f, const QString &term, const QString &definition)
{
    QCOMPARE(f.Cmd_Edit->text(), QStringLiteral("SALVA"));
    QVERIFY(!f.Cmd_Add->isEnabled());
    QVERIFY(!f.Cmd_Delete->isEnabled());
    QVERIFY(f.Text1->text().isEmpty());
    verifyEntry(f, term, definition);
}

} // namespace

class TestEditing : public QObject {
    Q_OBJECT

private slots:
    void emptyTextsOrNoSelectionAreRefused_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("definition");
        QTest::newRow("right after start-up") << "rest" << "" << "";
        QTest::newRow("insert, empty term") << "insert" << "" << "una nuova definizione";
        QTest::newRow("insert, empty definition") << "insert" << "nuovo" << "";
        QTest::newRow("modify, nothing selected") << "rest" << "nuovo" << "una nuova definizione";
        QTest::newRow("modify, term emptied") << "selected" << "" << "la prima lettera";
        QTest::newRow("modify, definition emptied") << "selected" << "alfa" << "";
    }

    void emptyTextsOrNoSelectionAreRefused()
    {
        QFETCH(QString, state);
        QFETCH(QString, term);
        QFETCH(QString, definition);
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        if (state == u"insert") {
            startInsert(h, term, definition);
        } else {
            if (state == u"selected")
                h.clickTerm("alfa");
            FormHarness::retype(h.form->TextPAROLA, term);
            FormHarness::retype(h.form->RichTextBox1, definition);
        }
        const QString caption = h.form->Cmd_Edit->text();
        const QString id = h.form->Text1->text();
        const Rows before = h.glossary.rows();

        h.boxes.answer(MsgBox::vbOK);
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.shown().size(), 1);
        verifyBox(h.boxes.last(), MissingDataPrompt, 16, QStringLiteral("MANCANZA DATI"));
        QCOMPARE(h.glossary.rows(), before);
        QCOMPARE(h.form->Cmd_Edit->text(), caption);
        QCOMPARE(h.form->Text1->text(), id);
        verifyEntry(*h.form, term, definition);
    }

    void savedAsTypedInItsAlphabeticalPlace_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("definition");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("blanks-only term") << "   " << "una parola fatta di spazi" << QStringList{"   ", "alfa", "zeta"};
        QTest::newRow("blanks-only definition") << "emme" << "   " << QStringList{"alfa", "emme", "zeta"};
        QTest::newRow("blanks around") << " emme " << " con spazi intorno " << QStringList{" emme ", "alfa", "zeta"};
        QTest::newRow("apostrophes") << "l'emme" << "dell'alfabeto, l'ultima che c'era"
                                     << QStringList{"alfa", "l'emme", "zeta"};
        QTest::newRow("short definition") << "emme" << "breve" << QStringList{"alfa", "emme", "zeta"};
        QTest::newRow("two lines") << "Emme" << "prima riga\nseconda riga" << QStringList{"alfa", "Emme", "zeta"};
    }

    void savedAsTypedInItsAlphabeticalPlace()
    {
        QFETCH(QString, term);
        QFETCH(QString, definition);
        QFETCH(QStringList, listed);
        FormHarness h({{"zeta", "l'ultima lettera"}, {"alfa", "la prima lettera"}});
        const Rows before = h.glossary.rows();

        // Entering the insert state drops the selection shown before.
        h.clickTerm("alfa");
        QVERIFY(!h.form->Text1->text().isEmpty());
        h.click(h.form->Cmd_Add);
        verifyInsertState(*h.form, QString(), QString());

        FormHarness::typeInto(h.form->TextPAROLA, term);
        FormHarness::typeInto(h.form->RichTextBox1, QString(definition).replace(u'\n', u'\r'));
        verifyInsertState(*h.form, term, definition);
        h.click(h.form->Cmd_Edit);

        QVERIFY(h.boxes.shown().isEmpty());
        QCOMPARE(h.glossary.rows(), withRow(before, {nextId(before), term, definition}));
        QCOMPARE(h.listed(), listed);
        QCOMPARE(h.form->Label2->text(), QStringLiteral("3"));
        h.verifyRestingState();
    }

    void similarEntriesAreRefused_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("definition");
        QTest::addColumn<bool>("refused");
        QTest::newRow("term inside a stored term") << "abc" << "nulla in comune" << true;
        QTest::newRow("term inside, other case") << "ABC" << "nulla in comune" << true;
        QTest::newRow("term with apostrophe inside") << "l'ab" << "nulla in comune" << true;
        QTest::newRow("same first 20") << "nuovo" << LongDefinition.left(20) + " e poi tutt'altro discorso" << true;
        QTest::newRow("same last 20") << "nuovo" << "tutt'altro discorso e infine " + LongDefinition.right(20) << true;
        QTest::newRow("definition inside a stored one") << "nuovo" << LongDefinition.mid(10, 40) << true;
        QTest::newRow("short definition inside") << "nuovo" << "basta" << true;
        QTest::newRow("short definition, nothing alike") << "nuovo" << "breve" << false;
        QTest::newRow("only the middle shared")
            << "nuovo" << "tutt'altro inizio, " + LongDefinition.mid(25, 20) + ", tutt'altra fine" << false;
        QTest::newRow("stored term inside the new one") << "xabcxy" << "nulla in comune" << false;
        QTest::newRow("apostrophes, nothing alike") << "d'accordo" << "senz'altro" << false;
    }

    void similarEntriesAreRefused()
    {
        QFETCH(QString, term);
        QFETCH(QString, definition);
        QFETCH(bool, refused);
        FormHarness h({{"xabcx", LongDefinition}, {"l'abito", "veste"}});
        const Rows before = h.glossary.rows();
        startInsert(h, term, definition);

        if (refused)
            h.boxes.answer(MsgBox::vbOK);
        h.click(h.form->Cmd_Edit);
        if (refused) {
            QCOMPARE(h.boxes.shown().size(), 1);
            verifyBox(h.boxes.last(), SimilarPrompt, 48, QStringLiteral("DATO GIA ESISTENTE"));
            QCOMPARE(h.glossary.rows(), before);
            verifyInsertState(*h.form, term, definition);
        } else {
            QVERIFY(h.boxes.shown().isEmpty());
            QCOMPARE(h.glossary.rows(), withRow(before, {nextId(before), term, definition}));
            h.verifyRestingState();
        }
    }

    void eachSaveChecksAgain()
    {
        FormHarness h({{"xabcx", LongDefinition}});
        const Rows before = h.glossary.rows();
        startInsert(h, "abc", "nulla in comune");
        h.boxes.answer(MsgBox::vbOK).answer(MsgBox::vbOK);
        h.click(h.form->Cmd_Edit);
        FormHarness::retype(h.form->TextPAROLA, "nuovo");
        FormHarness::retype(h.form->RichTextBox1, "basta");
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.shown().size(), 2);
        QCOMPARE(h.boxes.last().title, QStringLiteral("DATO GIA ESISTENTE"));
        QCOMPARE(h.glossary.rows(), before);
        verifyInsertState(*h.form, "nuovo", "basta");

        FormHarness::retype(h.form->RichTextBox1, "nulla in comune");
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.shown().size(), 2);
        QCOMPARE(h.glossary.rows(), withRow(before, {2, "nuovo", "nulla in comune"}));
        QCOMPARE(h.listed(), QStringList({"nuovo", "xabcx"}));
        h.verifyRestingState();
    }

    void modifyToAnotherStoredTermAfterAsking()
    {
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        const Rows before = h.glossary.rows();
        h.clickTerm("alfa");
        FormHarness::retype(h.form->TextPAROLA, "beta");
        FormHarness::retype(h.form->RichTextBox1, "ora come la seconda");
        h.boxes.answer(MsgBox::vbYes);
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.shown().size(), 1);
        verifyBox(h.boxes.last(), QStringLiteral("Stai per modificare il Termine beta Vuoi Procedere??"), 36,
                  QStringLiteral("Modifica TERMINE **beta**"));
        QCOMPARE(h.glossary.rows(), withRow(before, {before[0].id, "beta", "ora come la seconda"}));
        QCOMPARE(h.listed(), QStringList({"beta", "beta"}));
        h.verifyRestingState();
    }

    void deleteAsksWithTheTermThenNothingIsSelected()
    {
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        const Rows before = h.glossary.rows();
        h.clickTerm("beta");
        // The title names the term as it reads in the box now.
        FormHarness::retype(h.form->TextPAROLA, "beta?");
        h.boxes.answer(MsgBox::vbYes).answer(MsgBox::vbOK);
        h.click(h.form->Cmd_Delete);
        verifyBox(h.boxes.last(), DeletePrompt, 36, QStringLiteral("Eliminazione TERMINE **beta?**"));
        QCOMPARE(h.glossary.rows(), without(before, before[1].id));
        QCOMPARE(h.listed(), QStringList({"alfa"}));
        QCOMPARE(h.form->Label2->text(), QStringLiteral("1"));
        h.verifyRestingState();

        h.click(h.form->Cmd_Delete);
        QCOMPARE(h.boxes.shown().size(), 2);
        verifyBox(h.boxes.last(), QStringLiteral("Non è stato selezionato nessun dato!"), 48,
                  QStringLiteral("NESSUN TERMINE SELEZIONATO"));
        QCOMPARE(h.glossary.rows(), without(before, before[1].id));
    }

    void noToTheQuestionWritesNothing_data()
    {
        QTest::addColumn<Op>("op");
        QTest::newRow("modify") << Op::Modify;
        QTest::newRow("delete") << Op::Delete;
    }

    void noToTheQuestionWritesNothing()
    {
        QFETCH(Op, op);
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        const Rows before = h.glossary.rows();
        h.clickTerm("alfa");
        const QString id = h.form->Text1->text();
        FormHarness::retype(h.form->TextPAROLA, "alfa bis");
        FormHarness::retype(h.form->RichTextBox1, "la prima, rivista");
        h.boxes.answer(MsgBox::vbNo);
        clickOp(h, op);
        QCOMPARE(h.boxes.shown().size(), 1);
        QCOMPARE(h.boxes.last().style, 36);
        QCOMPARE(h.glossary.rows(), before);
        QCOMPARE(h.listed(), QStringList({"alfa", "beta"}));
        QCOMPARE(h.form->Text1->text(), id);
        verifyEntry(*h.form, "alfa bis", "la prima, rivista");
    }

    void selectionOrShowAllEndsAnUnsavedInsert_data()
    {
        QTest::addColumn<bool>("bySelection");
        QTest::addColumn<bool>("shownBefore"); // the term chosen is the one shown before the insert began
        QTest::newRow("selection") << true << false;
        QTest::newRow("selection of the term shown before") << true << true;
        QTest::newRow("VISUALIZZA TUTTO") << false << false;
    }

    void selectionOrShowAllEndsAnUnsavedInsert()
    {
        QFETCH(bool, bySelection);
        QFETCH(bool, shownBefore);
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        const Rows before = h.glossary.rows();
        if (shownBefore)
            h.clickTerm("beta");
        if (!bySelection) {
            // Showing all also empties the search boxes and lists every term again.
            FormHarness::typeInto(h.form->Txt_Search, "al");
            QCOMPARE(h.listed(), QStringList({"alfa"}));
        }
        startInsert(h, "gamma", "la terza lettera");
        QCOMPARE(h.form->Cmd_Edit->text(), QStringLiteral("SALVA"));
        if (bySelection) {
            h.clickTerm("beta");
            verifyEntry(*h.form, "beta", "la seconda lettera");
            QCOMPARE(h.form->Text1->text(), QString::number(before[1].id));
        } else {
            h.click(h.form->Command1);
            h.verifyRestingState();
            QVERIFY(h.form->Txt_Search->text().isEmpty());
            QVERIFY(h.form->Txt_Search_Def->text().isEmpty());
            QCOMPARE(h.form->Label2->text(), QStringLiteral("2"));
        }
        QCOMPARE(h.form->Cmd_Edit->text(), QStringLiteral("MODIFICA"));
        QVERIFY(h.form->Cmd_Add->isEnabled());
        QVERIFY(h.form->Cmd_Delete->isEnabled());
        QVERIFY(h.boxes.shown().isEmpty());
        QCOMPARE(h.glossary.rows(), before);
        QCOMPARE(h.listed(), QStringList({"alfa", "beta"}));
    }

    void wideIdsAreSavedModifiedAndDeleted_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::newRow("32767") << qint64(32767);
        QTest::newRow("40000") << qint64(40000);
        QTest::newRow("beyond 32 bits") << qint64(5'000'000'000);
    }

    void wideIdsAreSavedModifiedAndDeleted()
    {
        QFETCH(qint64, id);
        FormHarness h({{"alfa", "la prima lettera"}});
        h.glossary.exec(QStringLiteral("INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (%1, 'largo', "
                                       "'un numero alto')")
                            .arg(id));
        h.click(h.form->Command1);
        const Rows before = h.glossary.rows();

        startInsert(h, "nuovo", "appena scritto");
        h.click(h.form->Cmd_Edit);
        Rows expected = withRow(before, {id + 1, "nuovo", "appena scritto"});
        QCOMPARE(h.glossary.rows(), expected);

        h.clickTerm("largo");
        QCOMPARE(h.form->Text1->text(), QString::number(id));
        FormHarness::retype(h.form->RichTextBox1, "un numero alto, rivisto");
        h.boxes.answer(MsgBox::vbYes);
        h.click(h.form->Cmd_Edit);
        expected = withRow(expected, {id, "largo", "un numero alto, rivisto"});
        QCOMPARE(h.glossary.rows(), expected);

        h.clickTerm("nuovo");
        QCOMPARE(h.form->Text1->text(), QString::number(id + 1));
        h.boxes.answer(MsgBox::vbYes);
        h.click(h.form->Cmd_Delete);
        QCOMPARE(h.glossary.rows(), without(expected, id + 1));
        QCOMPARE(h.boxes.shown().size(), 2);
        QCOMPARE(h.listed(), QStringList({"alfa", "largo"}));
    }

    // A row carried over from an old file, or imported, may lack its term or its definition (NULL): it is
    // listed, shows an empty box and, completed, is written over as any other (deleting checks the same way).
    void aRowWithAMissingTextCanBeCompleted_data()
    {
        QTest::addColumn<QString>("term"); // null: missing
        QTest::addColumn<QString>("definition");
        QTest::newRow("missing definition") << "crostata" << QString();
        QTest::newRow("missing term") << QString() << "definizione orfana";
    }

    void aRowWithAMissingTextCanBeCompleted()
    {
        QFETCH(QString, term);
        QFETCH(QString, definition);
        FormHarness h({{"alfa", "la prima lettera"}});
        const auto sql = [](const QString &text) { return text.isNull() ? "NULL" : "'" + text + "'"; };
        h.glossary.exec(QStringLiteral("INSERT INTO Tbl_Zorvane VALUES (7, %1, %2)").arg(sql(term), sql(definition)));
        h.click(h.form->Command1);
        h.clickTerm(term);
        verifyEntry(*h.form, term, definition);
        const TempGlossary::StoredRow completed{7, term.isNull() ? "orfana" : term,
                                                definition.isNull() ? "dolce" : definition};
        FormHarness::retype(term.isNull() ? static_cast<QWidget *>(h.form->TextPAROLA) : h.form->RichTextBox1,
                            term.isNull() ? completed.term : completed.definition);
        h.boxes.answer(MsgBox::vbYes);
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.glossary.rows(), Rows({{1, "alfa", "la prima lettera"}, completed}));
    }

    void storeFailureChangesNothingAndKeepsTheTexts_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("number");
        const std::pair<const char *, Op> ops[] = {{"save", Op::Save}, {"modify", Op::Modify}, {"delete", Op::Delete}};
        // The file taken away is tst_kept_connection's, with the other actions.
        const std::tuple<const char *, Fault, int> faults[] = {{"read-only", Fault::ReadOnly, 3051},
                                                               {"locked", Fault::Locked, 3051},
                                                               {"being read", Fault::Reading, 3051},
                                                               {"row gone", Fault::RowGone, 3021}};
        for (const auto &[opName, op] : ops) {
            for (const auto &[faultName, fault, number] : faults) {
                if (op == Op::Save && fault == Fault::RowGone)
                    continue;
                QTest::addRow("%s, %s", opName, faultName) << op << fault << number;
            }
        }
    }

    void storeFailureChangesNothingAndKeepsTheTexts()
    {
        QFETCH(Op, op);
        QFETCH(Fault, fault);
        QFETCH(int, number);
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        const QString file = h.glossary.file();
        const Rows before = h.glossary.rows();
        if (op == Op::Save) {
            startInsert(h, "gamma", "viene dopo beta");
        } else {
            h.clickTerm("alfa");
            if (op == Op::Modify) {
                FormHarness::retype(h.form->TextPAROLA, "alfa bis");
                FormHarness::retype(h.form->RichTextBox1, "la prima, rivista");
            }
        }
        const QString term = h.form->TextPAROLA->text();
        const QString definition = h.form->TextDEFINIZIONE->Text();
        const QString id = h.form->Text1->text();
        const auto answer = [&] {
            if (op != Op::Save)
                h.boxes.answer(MsgBox::vbYes);
        };

        std::optional<ReadOnlyPath> readOnly;
        std::optional<OtherProgramLock> lock;
        switch (fault) {
        case Fault::ReadOnly:
            readOnly.emplace(file);
            if (readOnly->writable())
                QSKIP("neither permissions nor the immutable flag stop writes to the glossary file here");
            break;
        case Fault::Locked:
            lock.emplace(file, "BEGIN EXCLUSIVE");
            QVERIFY(lock->held());
            break;
        case Fault::Reading:
            lock.emplace(file, "BEGIN; SELECT count(*) FROM Tbl_Zorvane");
            QVERIFY(lock->held());
            break;
        case Fault::RowGone:
            h.glossary.exec("DELETE FROM Tbl_Zorvane WHERE ID = " + id);
            break;
        }

        answer();
        h.boxes.answer(MsgBox::vbOK);
        clickOp(h, op);
        QCOMPARE(h.boxes.pending(), 0);
        QCOMPARE(h.boxes.shown().size(), op == Op::Save ? 1 : 2);
        const MsgBox::Request box = h.boxes.last();
        QVERIFY2(box.prompt.startsWith(QString::number(number) + u' ') && box.prompt.size() > 5,
                 qPrintable(box.prompt));
        QCOMPARE(box.style, 0);
        QCOMPARE(box.title, QStringLiteral("ZORVANE"));

        switch (fault) {
        case Fault::ReadOnly:
            readOnly->lift();
            break;
        case Fault::Locked:
        case Fault::Reading:
            lock->lift();
            break;
        case Fault::RowGone:
            h.glossary.exec(QStringLiteral("INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (%1, '%2', '%3')")
                                .arg(id, before[0].term, before[0].definition));
            break;
        }
        QCOMPARE(h.glossary.rows(), before);
        QCOMPARE(QDir(h.glossary.folder()).entryList(QDir::Files), QStringList({"QUORLAN.mdb"}));
        verifyEntry(*h.form, term, definition);
        QCOMPARE(h.form->Text1->text(), id);
        QCOMPARE(h.form->Cmd_Edit->text(), op == Op::Save ? QStringLiteral("SALVA") : QStringLiteral("MODIFICA"));
        QCOMPARE(h.form->Cmd_Add->isEnabled(), op != Op::Save);

        // Once the fault is gone the same click goes through with what is still in the boxes.
        h.boxes.clear();
        answer();
        clickOp(h, op);
        QCOMPARE(h.boxes.shown().size(), op == Op::Save ? 0 : 1);
        QCOMPARE(h.glossary.rows(), afterOp(before, op, id.toLongLong(), term, definition));
        h.verifyRestingState();
    }

    void changesByAnotherProgramAreSeen()
    {
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        QVERIFY(Files::runSqlcipher(h.glossary.file(), "UPDATE Tbl_Zorvane SET Parola = 'gamma' WHERE Parola = 'beta';"));
        startInsert(h, "gam", "nulla in comune");
        h.boxes.answer(MsgBox::vbOK);
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.last().title, QStringLiteral("DATO GIA ESISTENTE"));

        QVERIFY(Files::runSqlcipher(h.glossary.file(), "INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (500, "
                                                "'omega', 'l''ultima lettera');"));
        FormHarness::retype(h.form->TextPAROLA, "delta");
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.shown().size(), 1);
        QCOMPARE(h.glossary.rows().last(), TempGlossary::StoredRow({501, "delta", "nulla in comune"}));
        QCOMPARE(h.listed(), QStringList({"alfa", "delta", "gamma", "omega"}));
    }

    // Another program changed the row on show after it was read: nothing is written over it, a box says
    // so (3197) and the list shows the file again.
    void aRowChangedByAnotherProgramIsNotWrittenOver_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<QString>("meanwhile");
        const QString reused = "DELETE FROM Tbl_Zorvane WHERE ID = 2; "
                               "INSERT INTO Tbl_Zorvane (ID, Parola, Definizione) VALUES (2, 'gamma', 'la terza')";
        const QString redefined = "UPDATE Tbl_Zorvane SET Definizione = 'riscritta altrove' WHERE ID = 2";
        QTest::newRow("modify, ID given to another term") << Op::Modify << reused;
        QTest::newRow("delete, ID given to another term") << Op::Delete << reused;
        QTest::newRow("modify, definition changed") << Op::Modify << redefined;
    }

    void aRowChangedByAnotherProgramIsNotWrittenOver()
    {
        QFETCH(Op, op);
        QFETCH(QString, meanwhile);
        FormHarness h({{"alfa", "la prima"}, {"beta", "la seconda"}});
        h.clickTerm("beta");
        if (op == Op::Modify)
            FormHarness::retype(h.form->TextPAROLA, "beta bis");
        h.glossary.exec(meanwhile);
        const Rows stored = h.glossary.rows();
        h.boxes.answer(MsgBox::vbYes).answer(MsgBox::vbOK);
        clickOp(h, op);
        QCOMPARE(h.boxes.pending(), 0);
        QVERIFY2(h.boxes.last().prompt.startsWith(u"3197 "), qPrintable(h.boxes.last().prompt));
        QCOMPARE(h.glossary.rows(), stored);
        QCOMPARE(h.listed().size(), 2);
        QVERIFY(h.form->Text1->text().isEmpty());
    }

    // What the user did not touch keeps its bytes: the other columns, the line breaks, a long term.
    void aModifyWritesOnlyWhatChanged()
    {
        FormHarness h;
        h.glossary.exec("ALTER TABLE Tbl_Zorvane ADD COLUMN Immagine BLOB; ALTER TABLE Tbl_Zorvane ADD COLUMN Peso REAL");
        const QString longTerm = QString(40000, u't');
        h.glossary.exec(QStringLiteral("INSERT INTO Tbl_Zorvane VALUES (1, '%1', 'riga uno' || char(13, 10) || 'riga due' || "
                                       "char(13) || 'tre' || char(8233) || 'quattro', x'00ff10', 2.5)")
                            .arg(longTerm));
        h.click(h.form->Command1);
        h.clickRow(0);
        QTest::keyClick(h.form->RichTextBox1, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(h.form->RichTextBox1, "!");
        h.boxes.answer(MsgBox::vbYes);
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.shown().size(), 1);
        QCOMPARE(h.glossary.value("SELECT Definizione FROM Tbl_Zorvane"),
                 QStringLiteral("riga uno\r\nriga due\rtre") + QChar(0x2029) + QStringLiteral("quattro!"));
        QCOMPARE(h.glossary.value("SELECT Parola FROM Tbl_Zorvane"), longTerm);
        QCOMPARE(h.glossary.value("SELECT typeof(Immagine) || hex(Immagine) || typeof(Peso) || Peso FROM Tbl_Zorvane"),
                 QStringLiteral("blob00FF10real2.5"));
    }

    // The view shows a long paragraph broken at some of its spaces, and the many lines of a long text
    // joined; a copy of a part holds the text's own characters, and the whole, edited, goes back as it was.
    void aLongDefinitionKeepsItsSpacesAndLines_data()
    {
        QTest::addColumn<QString>("definition");
        QTest::newRow("a paragraph longer than the view lays out at once")
            << QStringLiteral("vento e mare ").repeated(900) + u'.';
        QTest::newRow("many lines, joined") << QStringLiteral("riga del vento\n").repeated(14000) + u'.';
    }

    void aLongDefinitionKeepsItsSpacesAndLines()
    {
        QFETCH(QString, definition);
        FormHarness h({{"lungo", definition}});
        h.clickTerm("lungo");
        QTextCursor part(h.form->RichTextBox1->document());
        part.setPosition(3000);
        part.setPosition(int(definition.size()) - 3000, QTextCursor::KeepAnchor);
        h.form->RichTextBox1->setTextCursor(part);
        h.form->RichTextBox1->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), definition.mid(3000, definition.size() - 6000));
        QTest::keyClick(h.form->RichTextBox1, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(h.form->RichTextBox1, "!");
        h.boxes.answer(MsgBox::vbYes);
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.glossary.value("SELECT Definizione FROM Tbl_Zorvane"), definition + u'!');
    }

    // Every ID the file holds can be shown, changed and deleted. Past the largest one a new term gets the
    // next free number below it, unless the file remembers every number it gave (AUTOINCREMENT): then a
    // box says that no number is left.
    void oddIdsWork_data()
    {
        QTest::addColumn<bool>("remembers");
        QTest::newRow("plain key") << false;
        QTest::newRow("AUTOINCREMENT") << true;
    }

    void oddIdsWork()
    {
        QFETCH(bool, remembers);
        FormHarness h;
        if (!remembers)
            h.glossary.exec("DROP TABLE Tbl_Zorvane; CREATE TABLE Tbl_Zorvane (ID INTEGER PRIMARY KEY, Parola, Definizione)");
        h.glossary.exec("INSERT INTO Tbl_Zorvane VALUES (-5, 'negativo', 'sotto zero'), "
                        "(9223372036854775807, 'massimo', 'in cima')");
        h.click(h.form->Command1);
        h.clickTerm("negativo");
        QCOMPARE(h.form->Text1->text(), QStringLiteral("-5"));
        FormHarness::retype(h.form->RichTextBox1, "sotto lo zero");
        h.boxes.answer(MsgBox::vbYes);
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.glossary.value("SELECT Definizione FROM Tbl_Zorvane WHERE ID = -5"), QStringLiteral("sotto lo zero"));
        h.clickTerm("negativo");
        h.boxes.answer(MsgBox::vbYes);
        h.click(h.form->Cmd_Delete);
        QCOMPARE(h.listed(), QStringList({"massimo"}));

        startInsert(h, "nuovo", "dopo il massimo");
        if (remembers)
            h.boxes.answer(MsgBox::vbOK);
        h.click(h.form->Cmd_Edit);
        QCOMPARE(h.boxes.pending(), 0);
        QCOMPARE(h.glossary.value("SELECT ID FROM Tbl_Zorvane WHERE Parola = 'nuovo'"),
                 remembers ? QString() : QStringLiteral("9223372036854775806"));
        if (remembers)
            QVERIFY(h.boxes.last().prompt.contains(u"numeri di ID"));
    }
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
