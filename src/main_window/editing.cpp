#include "db/error/DbError.h"
#include "db/glossary/Store.h"
#include "db/query/TextMatch.h"
#include "db/recordset/Recordset.h"
#include "main_window/Form1.h"
#include "platform/msgbox/MsgBox.h"

#include <QHash>
#include <QListView>
#include <QPushButton>

namespace {

[[noreturn]] void rowGone()
{
    throw DbError::noCurrentRecord(QStringLiteral("il termine non è più presente nel glossario"));
}

// The view gives every line break as LF; the definition goes back with the breaks it was stored with,
// the first break of the edited text taking the first stored one and so on, and any further break the
// one the stored text uses most. A definition written on Windows keeps its CR LF.
QString withStoredLineBreaks(const QString &edited, const QString &stored)
{
    const auto breakAt = [](const QString &text, qsizetype i) -> qsizetype {
        const QChar c = text[i];
        if (c == u'\r')
            return i + 1 < text.size() && text[i + 1] == u'\n' ? 2 : 1;
        return c == u'\n' || c == QChar(0x2028) || c == QChar(0x2029) ? 1 : 0;
    };
    QStringList breaks;
    QHash<QString, int> counts;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (const qsizetype n = breakAt(stored, i)) {
            breaks.append(stored.mid(i, n));
            ++counts[breaks.last()];
            i += n - 1;
        }
    }
    QString usual = QStringLiteral("\n");
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(usual))
            usual = it.key();
    QString out;
    out.reserve(edited.size() + breaks.size());
    qsizetype k = 0;
    for (qsizetype i = 0; i < edited.size(); ++i) {
        if (const qsizetype n = breakAt(edited, i)) {
            out += breaks.value(k++, usual);
            i += n - 1;
        } else {
            out += edited[i];
        }
    }
    return out;
}

} // namespace

qint64 Form1::shownId() const
{
    if (!m_shown)
        rowGone();
    return m_shown->id;
}

void Form1::Cmd_Add_Click()
{
    m_inserting = true;
    Cmd_Edit->setText(QStringLiteral("SALVA"));
    Cmd_Delete->setEnabled(false);
    Cmd_Add->setEnabled(false);
    clearEntry();
    forgetShownRecord();
    // No row counts as selected, so that clicking the row shown before starts a selection again.
    List1[0]->clearSelection();
}

void Form1::Cmd_Edit_Click()
{
    const QString term = TextPAROLA->text();
    const QString definition = TextDEFINIZIONE->Text();
    if (definition.isEmpty() || term.isEmpty() || (!m_inserting && !m_shown)) {
        MsgBox::show(QStringLiteral("Non sono stati compilati tutti i dati richiesti o non è stato selezionato nessun "
                                    "Termine"),
                     16, QStringLiteral("MANCANZA DATI"));
        return;
    }
    if (m_inserting)
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
        const qint64 id = rs.Fields(QStringLiteral("ID")).Value().toLongLong();
        showRecord(ShownRecord{id, std::nullopt});
        rs.Fields(QStringLiteral("PAROLA")).setValue(TextPAROLA->text());
        rs.Fields(QStringLiteral("DEFINIZIONE")).setValue(TextDEFINIZIONE->Text());
        rs.Fields(QStringLiteral("ID")).setValue(id);
        rs.UpdateBatch();
    } catch (const DbError &e) {
        // The row was not stored: the window stays in the insert state with the typed texts.
        forgetShownRecord();
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
            rs.Open(store::QueryRowById(shownId()), store::ConnectionString(), 1, 3, 1);
            checkUnchanged(rs);
            rs.Fields(QStringLiteral("PAROLA")).setValue(term);
            rs.Fields(QStringLiteral("DEFINIZIONE"))
                .setValue(withStoredLineBreaks(definition, m_shown->read->definition.toString()));
            rs.UpdateBatch();
        }
        CaricaLista();
    } catch (const DbError &e) {
        showErrorBox(e);
        reloadAfterConflict(e);
    }
}

void Form1::checkUnchanged(Recordset &rs) const
{
    if (rs.Eof())
        rowGone();
    // The same ID may have been given to another term since, or the term changed by another program.
    if (!m_shown || !m_shown->read || m_shown->id != rs.Fields(QStringLiteral("ID")).Value().toLongLong() ||
        m_shown->read->term != rs.Fields(QStringLiteral("Parola")).Value() ||
        m_shown->read->definition != rs.Fields(QStringLiteral("Definizione")).Value())
        throw DbError::changedMeanwhile();
}

void Form1::reloadAfterConflict(const DbError &e)
{
    // The row on show is no longer what the file holds: the list shows the file again and nothing can
    // be written over that row any more, while what the user typed stays in the boxes.
    if (e.number() != DbError::ChangedMeanwhile)
        return;
    forgetShownRecord();
    try {
        refreshList();
    } catch (const DbError &again) {
        showErrorBox(again);
    }
}

void Form1::Cmd_Delete_Click()
{
    if (!m_shown) {
        MsgBox::show(QStringLiteral("Non è stato selezionato nessun dato!"), 48,
                     QStringLiteral("NESSUN TERMINE SELEZIONATO"));
        return;
    }
    if (MsgBox::show(QStringLiteral("Vuoi Veramente eliminare il TERMINE selezionato?"), 36,
                     QStringLiteral("Eliminazione TERMINE **") + TextPAROLA->text() + QStringLiteral("**")) !=
        MsgBox::vbYes)
        return;
    try {
        const qint64 id = shownId();
        {
            Recordset shown;
            shown.Open(store::QueryRowById(id), store::ConnectionString(), 1, 3, 1);
            checkUnchanged(shown);
        }
        {
            Recordset rs;
            rs.Open(store::QueryDeleteById(id), store::ConnectionString(), 1, 3, 1);
            if (rs.RecordsAffected() == 0)
                rowGone();
        }
        CaricaLista();
    } catch (const DbError &e) {
        showErrorBox(e);
        reloadAfterConflict(e);
    }
}
