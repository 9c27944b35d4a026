#include "db/error/DbError.h"
#include "db/glossary/Store.h"
#include "db/recordset/Recordset.h"
#include "main_window/Form1.h"
#include "platform/msgbox/MsgBox.h"

namespace {

struct SearchTexts {
    const char16_t *notFoundPrompt;
    const char16_t *notFoundTitle;
    const char16_t *noRecordPrompt;
    const char16_t *noRecordTitle;
};

constexpr SearchTexts TermTexts{u"Non è stata trovata nessun Termine con le seguenti parole chiave < ",
                                u"TERMINE NON TROVATO !!", u"Nessuna Parola trovata contenente [ ",
                                u"PAROLA NON TROVATA!!"};
constexpr SearchTexts DefinitionTexts{u"Non è stata trovata nessuna Definizione con le seguenti parole chiave < ",
                                      u"Definizione non trovata !!", u"Nessuna Definizione trovata contenente [ ",
                                      u"DEFINIZIONE NON TROVATA!!"};

} // namespace

void Form1::Txt_Search_Change()
{
    runSearch(Search::Term);
}

void Form1::Txt_Search_Def_Change()
{
    runSearch(Search::Definition);
}

void Form1::runSearch(Search search)
{
    const bool byDefinition = search == Search::Definition;
    const Search other = byDefinition ? Search::Term : Search::Definition;
    SearchBox *own = searchBox(search);
    const SearchTexts &texts = byDefinition ? DefinitionTexts : TermTexts;
    try {
        // Setting a box to the text it holds raises no change, which is what ends the nesting.
        if (searchBoxState(other) == SearchBoxState::Idle)
            searchBox(other)->setText(QString());
        clearEntry();
        const QString typed = own->text();
        if (typed.size() < 2)
            return;
        m_terms->clear();
        const QString query = byDefinition ? store::QueryFindDefinition(typed) : store::QueryFindTerm(typed);
        Recordset rs;
        rs.Open(query, store::ConnectionString(), 1, 3, 1);
        if (rs.Eof()) {
            MsgBox::show(QString::fromUtf16(texts.notFoundPrompt) + typed + QStringLiteral(" > !!!"), 48,
                         QString::fromUtf16(texts.notFoundTitle));
            m_terms->clear();
            Label2->setText(QStringLiteral("0"));
            return;
        }
        Label2->setText(QString::number(fillList(rs)));
        rs.Close();
    } catch (const DbError &e) {
        if (e.number() == DbError::NoCurrentRecord) {
            MsgBox::show(QString::fromUtf16(texts.noRecordPrompt) + own->text() + QStringLiteral(" ]"), 16,
                         QString::fromUtf16(texts.noRecordTitle));
            own->setText(QString());
        } else {
            showErrorBox(e);
        }
    }
}

void Form1::setSearchBoxState(Search search, SearchBoxState state)
{
    searchBoxState(search) = state;
    searchBox(search)->setBackColor(state == SearchBoxState::Active ? FocusColour : IdleColour);
}

void Form1::Txt_Search_GotFocus()
{
    setSearchBoxState(Search::Term, SearchBoxState::Active);
    seltxt(Txt_Search);
}

void Form1::Txt_Search_Def_GotFocus()
{
    setSearchBoxState(Search::Definition, SearchBoxState::Active);
    seltxt(Txt_Search_Def);
}

void Form1::Txt_Search_LostFocus()
{
    setSearchBoxState(Search::Term, SearchBoxState::Idle);
}

void Form1::Txt_Search_Def_LostFocus()
{
    setSearchBoxState(Search::Definition, SearchBoxState::Idle);
}
