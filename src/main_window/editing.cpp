#include "DbError.h"
#include "Form1.h"
#include "MsgBox.h"
#include "Recordset.h"
#include "Store.h"
#include "TextMatch.h"

#include <QListView>
#include <QPushButton>

namespace {

bool isInsertState(const QPushButton *edit)
{
    return edit->text() == QStringLiteral("SALVA");
}

[[noreturn]] void rowGone()
{
    throw DbError::noCurrentRecord(QStringLiteral("il termine non è più presente nel glossario"));
}

// Text1 holds the selected row's ID as plain digits; anything else names no row.
qint64 selectedId(const QLineEdit *text1)
{
    bool ok = false;
    const qint64 id = text1->text().toLongLong(&ok);
    if (!ok)
        rowGone();
    return id;
}

} // namespace

void Form1::Cmd_Add_Click()
{
    Cmd_Edit->setText(QStringLiteral("SALVA"));
    Cmd_Delete->setEnabled(false);
    Cmd_Add->setEnabled(false);
    clearEntry();
    Text1->setText(QString());
    // No row counts as selected, so that clicking the row shown before starts a selection again.
    List1[0]->clearSelection();
}

void Form1::Cmd_Edit_Click()
{
    const QString term = TextPAROLA->text();
    const QString definition = TextDEFINIZIONE->Text();
    const bool inserting = isInsertState(Cmd_Edit);
    if (definition.isEmpty() || term.isEmpty() || (!inserting && Text1->text().isEmpty())) {
        MsgBox::show(QStringLiteral("Non sono stati compilati tutti i dati richiesti o non è stato selezionato nessun "
                                    "Termine"),
                     16, QStringLiteral("MANCANZA DATI"));
        return;
    }
    if (inserting)
        saveNewTerm(term, definition);
    else
        modifyTerm(term, definition);
}

void Form1::saveNewTerm(const QString &term, const QString &definition)
{
    try {
        {
            Recordset probe;
            probe.Open(store::QuerySimilar(definition, TextMatch::leftCharacters(definition, 20).toString(),
                                                 TextMatch::rightCharacters(definition, 20).toString(), term),
                       store::ConnectionString(), 1, 3, 1);
            if (!probe.Eof()) {
                MsgBox::show(QStringLiteral("Un TERMINE o DEFINIZIONE simile a questa, è gia presente !!!"), 48,
                             QStringLiteral("DATO GIA ESISTENTE"));
                return;
            }
            probe.Close();
        }
        Recordset rs;
        rs.Open(store::QueryAllRows(), store::ConnectionString(), 1, 3, 1);
        rs.AddNew();
        Text1->setText(QString::number(rs.Fields(QStringLiteral("ID")).Value().toLongLong()));
        rs.Fields(QStringLiteral("PAROLA")).setValue(TextPAROLA->text());
        rs.Fields(QStringLiteral("DEFINIZIONE")).setValue(TextDEFINIZIONE->Text());
        rs.Fields(QStringLiteral("ID")).setValue(Text1->text().toLongLong());
        rs.UpdateBatch();
    } catch (const DbError &e) {
        // The row was not stored: the window stays in the insert state with the typed texts.
        Text1->setText(QString());
        showErrorBox(e);
        return;
    }
    showRestingState();
    try {
        CaricaLista();
    } catch (const DbError &e) {
        showErrorBox(e);
    }
}

void Form1::modifyTerm(const QString &term, const QString &definition)
{
    if (MsgBox::show(QStringLiteral("Stai per modificare il Termine ") + term + QStringLiteral(" Vuoi Procedere??"), 36,
                     QStringLiteral("Modifica TERMINE **") + term + QStringLiteral("**")) != MsgBox::vbYes)
        return;
    try {
        {
            Recordset rs;
            rs.Open(store::QueryRowById(selectedId(Text1)), store::ConnectionString(), 1, 3, 1);
            if (rs.Eof())
                rowGone();
            rs.Fields(QStringLiteral("PAROLA")).setValue(term);
            rs.Fields(QStringLiteral("DEFINIZIONE")).setValue(definition);
            rs.UpdateBatch();
        }
        CaricaLista();
    } catch (const DbError &e) {
        showErrorBox(e);
    }
}

void Form1::Cmd_Delete_Click()
{
    if (Text1->text().isEmpty()) {
        MsgBox::show(QStringLiteral("Non è stato selezionato nessun dato!"), 48,
                     QStringLiteral("NESSUN TERMINE SELEZIONATO"));
        return;
    }
    if (MsgBox::show(QStringLiteral("Vuoi Veramente eliminare il TERMINE selezionato?"), 36,
                     QStringLiteral("Eliminazione TERMINE **") + TextPAROLA->text() + QStringLiteral("**")) !=
        MsgBox::vbYes)
        return;
    try {
        {
            Recordset rs;
            rs.Open(store::QueryDeleteById(selectedId(Text1)), store::ConnectionString(), 1, 3, 1);
            if (rs.RecordsAffected() == 0)
                rowGone();
        }
        CaricaLista();
    } catch (const DbError &e) {
        showErrorBox(e);
    }
}
