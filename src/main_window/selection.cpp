#include "db/error/DbError.h"
#include "db/glossary/Store.h"
#include "db/recordset/Recordset.h"
#include "main_window/Form1.h"

#include <QListView>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTimer>

namespace {

// The rich text's own search colour for marks: bold red.
QTextCharFormat markFormat()
{
    QTextCharFormat f;
    f.setFontWeight(QFont::Bold);
    f.setForeground(QColor(255, 0, 0));
    return f;
}

} // namespace

void Form1::List1_Click()
{
    const QModelIndex current = List1[0]->selectionModel()->currentIndex();
    if (!current.isValid())
        return;
    const qint64 id = m_terms->id(current.row());
    try {
        RichTextBox1->setCurrentCharFormat(QTextCharFormat());
        Recordset rs;
        rs.Open(store::QueryRowById(id), store::ConnectionString(), 1, 3, 1);
        if (rs.Eof())
            throw DbError::noCurrentRecord(QStringLiteral("il termine non è più presente nel glossario"));
        const QVariant storedDefinition = rs.Fields(QStringLiteral("Definizione")).Value();
        const QVariant storedTerm = rs.Fields(QStringLiteral("Parola")).Value();
        const qint64 storedId = rs.Fields(QStringLiteral("ID")).Value().toLongLong();
        rs.Close();
        const QString definition = storedDefinition.toString();
        const QString term = storedTerm.toString();
        showRecord(ShownRecord{storedId, ShownRecord::Read{storedTerm, storedDefinition}});

        QString words;
        if (!Txt_Search->text().isEmpty())
            words = Txt_Search->text();
        if (!Txt_Search_Def->text().isEmpty())
            words = Txt_Search_Def->text();

        const QString cerca = QString(words).replace(u' ', u'|');
        {
            // The mirror would copy the view's characters; the box keeps the definition exactly as stored.
            const QSignalBlocker noMirror(RichTextBox1);
            RichTextBox1->setText(
                definition, [&cerca](const QString &shown) { return Evidenzia(shown, cerca); }, markFormat());
        }
        TextDEFINIZIONE->setText(definition);
        TextPAROLA->setText(term);
        showRestingState();
    } catch (const DbError &e) {
        // The previous record must not stay on show, ready for MODIFICA or ELIMINA, beside a highlight on
        // another term; without the highlight, choosing the same term again tries again.
        forgetShownRecord();
        clearEntry();
        List1[0]->clearSelection();
        showErrorBox(e);
    }
}

QList<QPair<qsizetype, qsizetype>> Form1::Evidenzia(const QString &testo, const QString &Cerca)
{
    QList<QPair<qsizetype, qsizetype>> marks;
    if (testo.isEmpty() || Cerca.isEmpty())
        return marks;
    for (const QString &word : Cerca.split(u'|')) {
        if (word.isEmpty())
            continue;
        // Each search starts one character after the previous find, so overlapping occurrences count.
        for (qsizetype p = testo.indexOf(word, 0, Qt::CaseInsensitive); p >= 0;
             p = testo.indexOf(word, p + 1, Qt::CaseInsensitive))
            marks.append({p, word.size()});
    }
    return marks;
}

void Form1::RichTextBox1_Change()
{
    TextDEFINIZIONE->setText(RichTextBox1->Text());
}

void Form1::seltxt(QLineEdit *txtctrl)
{
    txtctrl->selectAll();
    txtctrl->setFocus();
    // A click that brought the focus places the caret after this runs; select again once it has.
    QTimer::singleShot(0, txtctrl, &QLineEdit::selectAll);
}
