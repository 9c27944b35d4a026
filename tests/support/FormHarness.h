#pragma once

#include "main_window/Form1.h"
#include "support/BoxScript.h"
#include "support/TempGlossary.h"

#include <QAbstractItemView>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <memory>

// Every window of these tests keeps its splash up for one millisecond instead of four seconds; set
// before main() so that no test can create a window first.
inline const bool shortSplash = [] {
    Form1::setSplashDelayForTesting(1);
    return true;
}();

// A real Form1, loaded on its own glossary file and shown offscreen, driven as a user would.
struct FormHarness {
    TempGlossary glossary;
    BoxScript boxes;
    std::unique_ptr<Form1> form;

    explicit FormHarness(std::initializer_list<GlossaryFile::Row> rows = {}) : glossary(rows)
    {
        form = std::make_unique<Form1>();
        form->Form_Load();
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    QListView *list() const { return form->List1[0]; }

    QStringList listed() const
    {
        QStringList out;
        const auto *model = list()->model();
        for (int i = 0; i < model->rowCount(); ++i)
            out.append(model->index(i, 0).data().toString());
        return out;
    }

    // Clicks the row of the list as the user would.
    void clickRow(int row) const
    {
        const QModelIndex index = list()->model()->index(row, 0);
        list()->scrollTo(index);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(index).center());
    }

    void clickTerm(const QString &term) const
    {
        const qsizetype row = listed().indexOf(term);
        QVERIFY2(row >= 0, qPrintable(term));
        clickRow(int(row));
    }

    // Types one key at a time; QTest::keyClicks takes ASCII only, and Italian needs "à" and "È".
    static void type(QWidget *box, const QString &text)
    {
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(box, char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, box, Qt::Key(c.toUpper().unicode()), QString(c), {});
        }
    }

    // Clicks into a box (it gains the focus) and types, one key at a time.
    static void typeInto(QWidget *box, const QString &text)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
        type(box, text);
    }

    // Replaces a box's whole text, as a user selecting all and typing over it.
    static void retype(QWidget *box, const QString &text)
    {
        typeInto(box, QString());
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(box, Qt::Key_Delete);
        else
            type(box, text);
    }

    static void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Nothing chosen, nothing typed, no insert under way.
    void verifyRestingState() const
    {
        QVERIFY(form->TextPAROLA->text().isEmpty());
        QVERIFY(form->TextDEFINIZIONE->Text().isEmpty());
        QVERIFY(form->RichTextBox1->Text().isEmpty());
        QVERIFY(form->Text1->text().isEmpty());
        QVERIFY(form->Cmd_Add->isEnabled());
        QVERIFY(form->Cmd_Delete->isEnabled());
        QCOMPARE(form->Cmd_Edit->text(), QStringLiteral("MODIFICA"));
        QVERIFY(!list()->selectionModel()->hasSelection());
    }
};
