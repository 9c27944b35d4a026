#include "db/error/DbError.h"
#include "db/glossary/Store.h"
#include "db/recordset/Recordset.h"
#include "main_window/Form1.h"

#include <QListView>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTimer>

#include <algorithm>

namespace {

// The rich text's own search colour for marks: bold red.
QTextCharFormat markFormat()
{
    QTextCharFormat f;
    f.setFontWeight(QFont::Bold);
    f.setForeground(QColor(255, 0, 0));
    return f;
}

// The text case folded one code unit for one, as a search without regard to case compares characters,
// so that a plain search in it finds the same places: folding a long definition once costs less than
// folding it again for every word.
QString caseFolded(QString text)
{
    char16_t *c = reinterpret_cast<char16_t *>(text.data());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (c[i] < 0x80) {
            if (c[i] >= u'A' && c[i] <= u'Z')
                c[i] += u'a' - u'A';
        } else if (QChar::isHighSurrogate(c[i]) && i + 1 < size && QChar::isLowSurrogate(c[i + 1])) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c[i], c[i + 1]));
            c[i] = QChar::highSurrogate(folded);
            c[++i] = QChar::lowSurrogate(folded);
        } else {
            c[i] = char16_t(QChar::toCaseFolded(char32_t(c[i])));
        }
    }
    return text;
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
    QStringList words;
    qsizetype longest = 0;
    for (const QString &word : Cerca.split(u'|')) {
        if (word.isEmpty())
            continue;
        words.append(caseFolded(word));
        longest = std::max(longest, word.size());
    }
    // The text is folded a piece at a time, with the few characters after it that a word starting in it can
    // reach: a definition of many megabytes is never copied whole, and each piece is searched while it is
    // still in the cache. A piece never ends between the two halves of a character beyond 16 bits.
    const auto splitsPair = [&testo](qsizetype at) {
        return at > 0 && at < testo.size() && testo[at - 1].isHighSurrogate() && testo[at].isLowSurrogate();
    };
    constexpr qsizetype Piece = 32768;
    QList<QList<QPair<qsizetype, qsizetype>>> found(words.size());
    for (qsizetype start = 0; start < testo.size();) {
        qsizetype end = std::min(start + Piece, testo.size());
        if (splitsPair(end))
            ++end;
        qsizetype reach = std::min(end + longest - 1, testo.size());
        if (splitsPair(reach))
            ++reach;
        const QString folded = caseFolded(testo.mid(start, reach - start));
        for (qsizetype w = 0; w < words.size(); ++w) {
            // Each search starts one character after the previous find, so overlapping occurrences count.
            for (qsizetype p = folded.indexOf(words[w]); p >= 0 && p < end - start;
                 p = folded.indexOf(words[w], p + 1))
                found[w].append({start + p, words[w].size()});
        }
        start = end;
    }
    for (const auto &ofWord : found)
        marks.append(ofWord);
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
