#include "db/error/DbError.h"
#include "db/glossary/ConnectionTarget.h"
#include "db/glossary/Store.h"
#include "db/recordset/ConnectionPool.h"
#include "db/recordset/Recordset.h"
#include "main_window/Form1.h"
#include "main_window/StartUpSequence.h"
#include "platform/msgbox/MsgBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QListView>
#include <QPushButton>
#include <QTimer>

int Form1::s_splashDelay = 4000;

void Form1::setSplashDelayForTesting(int ms)
{
    s_splashDelay = ms;
}

void showErrorBox(const DbError &error)
{
    MsgBox::show(QString::number(error.number()) + u' ' + error.description(), 0);
}

void Form1::Form_Load()
{
    emit Load();
    Timer1->start();
    m_startUp->run();
    CaricaLista();
}

void Form1::Timer1_Timer()
{
    m_startUp->tick();
}

qsizetype Form1::fillList(Recordset &rs)
{
    TermListing rows;
    if (!rs.Eof()) {
        rs.MoveFirst();
        rows = rs.termListing(QStringLiteral("ID"), QStringLiteral("Parola"));
    }
    const qsizetype count = rows.size();
    m_terms->setTerms(std::move(rows));
    return count;
}

void Form1::CaricaLista()
{
    refreshList();
    clearEntry();
    forgetShownRecord();
    showRestingState();
    update();
}

void Form1::refreshList()
{
    m_terms->clear();
    // The count follows the list, also when the fill fails before it has anything to count.
    Label2->setText(QStringLiteral("0"));
    Recordset rs;
    rs.Open(store::QueryAllTerms(), store::ConnectionString(), 1, 3, 1);
    const qsizetype count = fillList(rs);
    Label2->setText(QString::number(count));
    rs.Close();
}

void Form1::clearEntry()
{
    TextPAROLA->setText(QString());
    TextDEFINIZIONE->setText(QString());
    RichTextBox1->setText(QString());
}

void Form1::showRecord(const ShownRecord &record)
{
    m_shown = record;
    Text1->setText(QString::number(record.id));
}

void Form1::forgetShownRecord()
{
    Text1->setText(QString());
    m_shown.reset();
}

void Form1::showRestingState()
{
    Cmd_Delete->setEnabled(true);
    Cmd_Add->setEnabled(true);
    m_inserting = false;
    Cmd_Edit->setText(QStringLiteral("MODIFICA"));
}

void Form1::Command1_Click()
{
    try {
        Txt_Search->setText(QString());
        Txt_Search_Def->setText(QString());
        CaricaLista();
    } catch (const DbError &e) {
        showErrorBox(e);
    }
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void Form1::Form_Unload()
{
    setVisible(false);
    m_startUp->showSplash();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this)
            w->close();
    }
}
