#include "db/recordset/ConnectionPool.h"
#include "db/glossary/ConnectionTarget.h"
#include "db/error/DbError.h"
#include "main_window/Form1.h"
#include "platform/msgbox/MsgBox.h"
#include "db/recordset/Recordset.h"
#include "db/glossary/Store.h"

#include <QApplication>
#include <QCloseEvent>
#include <QListView>
#include <QPushButton>
#include <QThread>
#include <QTimer>

void showErrorBox(const DbError &error)
{
    MsgBox::show(QString::number(error.number()) + u' ' + error.description(), 0);
}

void Form1::Form_Load()
{
    emit Load();
    Timer1->start();
    const bool carrying = startCarryOver();
    if (!carrying)
        startPreload();
    showSplash();
    finishPreload();
    if (carrying)
        finishCarryOver();
    CaricaLista();
}

void Form1::startPreload()
{
    m_preload = QThread::create(
        [target = ConnectionTarget::parse(store::ConnectionString())] { ConnectionPool::preload(target); });
    m_preload->start();
}

void Form1::finishPreload()
{
    // The reading is the list's own: whatever is left of it after the tick is waited for here.
    if (!m_preload)
        return;
    m_preload->wait();
    delete std::exchange(m_preload, nullptr);
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
    showSplash();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this)
            w->close();
    }
}
