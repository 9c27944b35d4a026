#pragma once

#include "main_window/Controls.h"
#include "main_window/TermListModel.h"

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QVariant>

#include <array>
#include <memory>
#include <optional>

class QAction;
class clsResizer;
class QListView;
class QMenu;
class QPushButton;
class QTimer;
class StartUpSequence;

// The glossary's main window. Its working state is kept in values of its own: the record on show, whether
// a new term is being typed, where the user stands with each search box. The controls show them (the
// record's ID in Text1, SALVA or MODIFICA on Cmd_Edit, the search boxes' colours), and every handler
// decides by the values, never by what a control shows.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    static constexpr QRgb FocusColour = 0xF9D945; // red 249, green 217, blue 69
    static constexpr QRgb IdleColour = 0xFFFFFF;

    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Tests shorten the four seconds that Timer1 keeps the splash up; windows created afterwards use it.
    static void setSplashDelayForTesting(int ms);

    // Shows the splash until Timer1's first tick, then fills the list before the window is first shown;
    // a failure of the fill is thrown to the caller.
    void Form_Load();
    void CaricaLista();

    // Every occurrence of every "|"-separated word in testo, without regard to case: (start, length).
    static QList<QPair<qsizetype, qsizetype>> Evidenzia(const QString &testo, const QString &Cerca);
    void seltxt(QLineEdit *txtctrl);
    // Opens file with the program the desktop associates with its type; false when none took it.
    bool OpenFile(WId hWnd, const QString &file, const QString &Operation, const QString &Param, const QString &Dir);

    // The controls, named as the window's layout names them.
    LinkLabel *Label56 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Image2 = nullptr;
    QLabel *Image3 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    RichTextBox *RichTextBox1 = nullptr;
    PlainTextBox *TextDEFINIZIONE = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Cmd_Add = nullptr;
    QPushButton *Cmd_Delete = nullptr;
    QPushButton *Cmd_Edit = nullptr;
    QLineEdit *Text1 = nullptr;
    std::array<QListView *, 1> List1{};
    QTimer *Timer1 = nullptr;
    QLineEdit *TextPAROLA = nullptr;
    SearchBox *Txt_Search = nullptr;
    SearchBox *Txt_Search_Def = nullptr;
    QMenu *SELECT_PRINT = nullptr;
    QAction *Print_Termine = nullptr;
    QMenu *Menu_INFO = nullptr;
    QAction *Vis_Versione = nullptr;

signals:
    // The window has loaded: its layout is the design layout.
    void Load();

public slots:
    void Command1_Click();
    void List1_Click();
    void RichTextBox1_Change();
    void Txt_Search_Change();
    void Txt_Search_Def_Change();
    void Txt_Search_GotFocus();
    void Txt_Search_Def_GotFocus();
    void Txt_Search_LostFocus();
    void Txt_Search_Def_LostFocus();
    void Cmd_Add_Click();
    void Cmd_Edit_Click();
    void Cmd_Delete_Click();
    void Print_Termine_Click();
    void Vis_Versione_Click();
    void Label56_Click();
    void Timer1_Timer();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The record on show, its ID also in Text1, with what the file held when it was read, so that a change
    // or a delete can tell whether another program has changed it since. A term just added was not read
    // back: until the list is read again, a change or a delete of it is refused as changed meanwhile.
    struct ShownRecord {
        struct Read {
            QVariant term;
            QVariant definition;
        };
        qint64 id = 0;
        std::optional<Read> read;
    };
    enum class Search { Term, Definition };
    // Where the user stands with a search box, which its colour shows: a box left idle holds a search that
    // typing in the other one replaces; a box never entered holds nothing the user typed there.
    enum class SearchBoxState { Untouched, Active, Idle };

    void Form_Initialize();
    QSize designSize() const;
    void buildLayout();
    void connectHandlers();
    TermListModel *termList() const { return m_terms; }
    // Fills the list from a query's rows; returns the number listed.
    qsizetype fillList(class Recordset &rs);
    SearchBox *searchBox(Search search) const { return search == Search::Term ? Txt_Search : Txt_Search_Def; }
    SearchBoxState &searchBoxState(Search search)
    {
        return search == Search::Term ? m_termSearchBox : m_definitionSearchBox;
    }
    void setSearchBoxState(Search search, SearchBoxState state);
    void runSearch(Search search);
    void saveNewTerm(const QString &term, const QString &definition);
    void modifyTerm(const QString &term, const QString &definition);
    // The ID of the record on show; throws when there is none.
    qint64 shownId() const;
    // Throws when the row with the shown ID no longer holds what was shown.
    void checkUnchanged(class Recordset &rs) const;
    void reloadAfterConflict(const class DbError &e);
    // The list and its count from the file, the first half of CaricaLista.
    void refreshList();
    void Form_Unload();
    // Empties the record's term, definition and the definition's view.
    void clearEntry();
    void showRecord(const ShownRecord &record);
    // No record is shown any more: neither its ID in Text1 nor what was read of it is kept.
    void forgetShownRecord();
    // The buttons as a fill or a selection leaves them: MODIFICA, with ELIMINA and INSERISCI enabled.
    void showRestingState();

    static int s_splashDelay;
    TermListModel *m_terms = nullptr;
    clsResizer *m_Resizer = nullptr;
    // The splash and the work behind it, at the start and at the end.
    std::unique_ptr<StartUpSequence> m_startUp;
    // None while no record is on show, Text1 then empty.
    std::optional<ShownRecord> m_shown;
    // INSERISCI began a new term, which Cmd_Edit (then SALVA) saves; otherwise Cmd_Edit changes the record
    // on show.
    bool m_inserting = false;
    SearchBoxState m_termSearchBox = SearchBoxState::Untouched;
    SearchBoxState m_definitionSearchBox = SearchBoxState::Untouched;
};

// The window's error box: the error number, a blank and the description, OK only, no icon.
void showErrorBox(const class DbError &error);
