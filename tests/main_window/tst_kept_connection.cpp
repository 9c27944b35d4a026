#include "db/glossary/Store.h"
#include "support/Files.h"
#include "support/FormHarness.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <sqlcipher/sqlite3.h>

// The program keeps its connection and a copy of the table between operations; none of it may show.
class TestKeptConnection : public QObject {
    Q_OBJECT

    static void viaCommandLine(const QString &file, const QString &sql) { QVERIFY(Files::runSqlcipher(file, sql)); }

private slots:
    void rowsWrittenByAnotherProgramAreFound()
    {
        FormHarness h({{"alfa", "prima lettera"}, {"alfabeto", "tutte le lettere"}});
        FormHarness::typeInto(h.form->Txt_Search, "alf");
        QCOMPARE(h.listed(), QStringList({"alfa", "alfabeto"}));

        viaCommandLine(h.glossary.file(), "INSERT INTO Tbl_Zorvane (Parola, Definizione) VALUES ('alfiere', "
                                          "'pezzo degli scacchi'); UPDATE Tbl_Zorvane SET Parola = 'Alfa' WHERE ID = 1;");
        QTest::keyClick(h.form->Txt_Search, Qt::Key_I);
        QCOMPARE(h.listed(), QStringList({"alfiere"}));
        QTest::keyClick(h.form->Txt_Search, Qt::Key_Backspace);
        QTest::keyClick(h.form->Txt_Search, Qt::Key_A);
        QCOMPARE(h.listed(), QStringList({"Alfa", "alfabeto"}));

        FormHarness::typeInto(h.form->Txt_Search_Def, "scacchi");
        QCOMPARE(h.listed(), QStringList({"alfiere"}));
        h.clickTerm("alfiere");
        QCOMPARE(h.form->TextDEFINIZIONE->Text(), QStringLiteral("pezzo degli scacchi"));

        viaCommandLine(h.glossary.file(), "DELETE FROM Tbl_Zorvane WHERE Parola = 'alfiere';");
        h.click(h.form->Command1);
        QCOMPARE(h.listed(), QStringList({"Alfa", "alfabeto"}));
    }

    // The glossary taken away while the window is open fails each action as it would without the kept
    // connection: one box naming the file, nothing made in its place, the window still usable, and the file
    // found again once back. An edit keeps what was typed, and the same click goes through then.
    void aRemovedFileShowsOneBox_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("search by term") << "term";
        QTest::newRow("search by definition") << "definition";
        QTest::newRow("selection") << "select";
        QTest::newRow("VISUALIZZA TUTTO") << "show all";
        QTest::newRow("save") << "save";
        QTest::newRow("modify") << "modify";
        QTest::newRow("delete") << "delete";
    }

    void aRemovedFileShowsOneBox()
    {
        QFETCH(QString, action);
        FormHarness h({{"alfa", "prima lettera"}, {"beta", "seconda lettera"}});
        Form1 &f = *h.form;
        const QString file = h.glossary.file();
        const QList<TempGlossary::StoredRow> before = h.glossary.rows();
        SearchBox *search = action == u"definition" ? f.Txt_Search_Def : f.Txt_Search;
        const bool asked = action == u"modify" || action == u"delete"; // the question comes before the box
        const bool edit = asked || action == u"save";
        h.clickTerm("alfa");
        if (action == u"save") {
            h.click(f.Cmd_Add);
            FormHarness::typeInto(f.TextPAROLA, "gamma");
            FormHarness::typeInto(f.RichTextBox1, "viene dopo beta");
        } else if (action == u"modify") {
            FormHarness::retype(f.TextPAROLA, "alfa bis");
            FormHarness::retype(f.RichTextBox1, "la prima, rivista");
        }
        const QString term = f.TextPAROLA->text(), definition = f.TextDEFINIZIONE->Text(), id = f.Text1->text();
        const auto act = [&](bool fails) {
            if (asked)
                h.boxes.answer(MsgBox::vbYes);
            if (fails)
                h.boxes.answer(MsgBox::vbOK);
            if (action == u"select")
                h.clickTerm("beta");
            else if (action == u"show all")
                h.click(f.Command1);
            else if (edit)
                h.click(action == u"delete" ? f.Cmd_Delete : f.Cmd_Edit);
            else
                FormHarness::typeInto(search, "al");
        };
        QVERIFY(QFile::rename(file, file + ".via"));
        act(true);
        QCOMPARE(h.boxes.pending(), 0);
        QCOMPARE(h.boxes.shown().size(), asked ? 2 : 1);
        verifyBox(h.boxes.last(), QStringLiteral("3024 Impossibile trovare il file '%1'.").arg(file));
        QVERIFY(f.isVisible());
        QVERIFY2(!QFile::exists(file), "a failed action left a new file behind");
        if (edit) {
            QCOMPARE(f.TextPAROLA->text(), term);
            QCOMPARE(f.TextDEFINIZIONE->Text(), definition);
            QCOMPARE(f.RichTextBox1->Text(), definition);
            QCOMPARE(f.Text1->text(), id);
            QCOMPARE(f.Cmd_Edit->text(), action == u"save" ? QStringLiteral("SALVA") : QStringLiteral("MODIFICA"));
            QCOMPARE(f.Cmd_Add->isEnabled(), action != u"save");
        } else if (action == u"select") {
            // The previous record must not stay on show as if it were the one chosen.
            QVERIFY(f.Text1->text().isEmpty());
            QVERIFY(f.TextPAROLA->text().isEmpty());
            QVERIFY(f.TextDEFINIZIONE->Text().isEmpty());
            QVERIFY(f.RichTextBox1->Text().isEmpty());
        } else if (action == u"show all") {
            // The count follows the emptied list rather than keeping the number of the last fill.
            QVERIFY(h.listed().isEmpty());
            QCOMPARE(f.Label2->text(), QStringLiteral("0"));
        } else {
            QCOMPARE(search->text(), QStringLiteral("al"));
        }

        QVERIFY(QFile::rename(file + ".via", file));
        QCOMPARE(h.glossary.rows(), before);
        QCOMPARE(QDir(h.glossary.folder()).entryList(QDir::Files), QStringList({"QUORLAN.mdb"}));
        if (edit) {
            h.boxes.clear();
            act(false);
            QCOMPARE(h.boxes.shown().size(), asked ? 1 : 0);
            QList<TempGlossary::StoredRow> after = before;
            if (action == u"save")
                after.append({before.last().id + 1, "gamma", "viene dopo beta"});
            else if (action == u"modify")
                after.first() = {before.first().id, "alfa bis", "la prima, rivista"};
            else
                after.removeFirst();
            QCOMPARE(h.glossary.rows(), after);
            h.verifyRestingState();
            return;
        }
        // Choosing the same term again tries again.
        if (action != u"select")
            h.click(f.Command1);
        h.clickTerm("beta");
        QCOMPARE(f.TextPAROLA->text(), QStringLiteral("beta"));
        h.clickTerm("alfa");
        QCOMPARE(f.TextPAROLA->text(), QStringLiteral("alfa"));
        QCOMPARE(f.TextDEFINIZIONE->Text(), QStringLiteral("prima lettera"));
        QCOMPARE(f.Text1->text(), QString::number(before.first().id));
        QCOMPARE(h.boxes.shown().size(), 1);
        QCOMPARE(h.boxes.pending(), 0);
    }

    void aReplacedFileShowsTheNewGlossary()
    {
        FormHarness h({{"vecchio", "il primo glossario"}});
        TempGlossary other({{"nuovo", "il secondo glossario"}, {"novità", "altro"}});
        store::setAppPath(h.glossary.folder());
        QVERIFY(QFile::remove(h.glossary.file()));
        QVERIFY(QFile::copy(other.file(), h.glossary.file()));
        h.click(h.form->Command1);
        QCOMPARE(h.listed(), QStringList({"novità", "nuovo"}));
        FormHarness::typeInto(h.form->Txt_Search_Def, "secondo");
        QCOMPARE(h.listed(), QStringList({"nuovo"}));

        // Rewritten in place, same inode, by a tool that keeps the file but not its key material.
        Files::writeFile(h.glossary.file(), Files::bytesOf(other.file()));
        h.click(h.form->Command1);
        QCOMPARE(h.listed(), QStringList({"novità", "nuovo"}));
    }

    void anotherProgramCanLockTheFileBetweenOperations()
    {
        FormHarness h({{"alfa", "prima lettera"}, {"beta", "seconda lettera"}});
        sqlite3 *other = nullptr;
        sqlite3_open(QFile::encodeName(h.glossary.file()).constData(), &other);
        sqlite3_key(other, GlossaryKey.constData(), int(GlossaryKey.size()));
        sqlite3_busy_timeout(other, 0);
        const auto lockAndRelease = [&] {
            QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
            QCOMPARE(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        };
        lockAndRelease();
        FormHarness::typeInto(h.form->Txt_Search, "al");
        lockAndRelease();
        FormHarness::typeInto(h.form->Txt_Search_Def, "lettera");
        lockAndRelease();
        h.clickTerm("beta");
        lockAndRelease();
        h.click(h.form->Cmd_Add);
        h.form->TextPAROLA->setText("gamma");
        h.form->RichTextBox1->setText("terza dell'alfabeto greco");
        h.click(h.form->Cmd_Edit);
        lockAndRelease();
        h.clickTerm("gamma");
        h.boxes.answer(MsgBox::vbYes);
        h.click(h.form->Cmd_Delete);
        lockAndRelease();
        h.click(h.form->Command1);
        lockAndRelease();
        sqlite3_close(other);
        QCOMPARE(h.listed(), QStringList({"alfa", "beta"}));
    }
};

QTEST_MAIN(TestKeptConnection)
#include "tst_kept_connection.moc"
