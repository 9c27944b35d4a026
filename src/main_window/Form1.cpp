#include "main_window/Form1.h"

#include "main_window/StartUpSequence.h"
#include "resizer/Design.h"
#include "resizer/Twips.h"
#include "resizer/clsResizer.h"

#include <QAction>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <limits>

using Design::place;
using Design::verdana;

namespace {

constexpr int ClientWidth = 11280;
constexpr int ClientHeight = 9165;

template<typename T>
T *named(T *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *picture(QWidget *parent, const char *name, const QString &resource)
{
    auto *label = named(new QLabel(parent), name);
    label->setPixmap(QPixmap(resource));
    label->setScaledContents(true);
    return label;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = named(new QPushButton(caption, parent), name);
    b->setFont(verdana(8.25, true));
    b->setAutoDefault(false);
    return b;
}

} // namespace

Form1::Form1(QWidget *parent) : QMainWindow(parent), m_startUp(std::make_unique<StartUpSequence>())
{
    installControlsAccessibility();
    buildLayout();
    connectHandlers();
    Form_Initialize();
}

void Form1::Form_Initialize()
{
    // Maximised, the whole layout and its fonts grow by one factor; restored, it is the design again.
    m_Resizer = new clsResizer(this);
    m_Resizer->setOnForm(this);
    m_Resizer->setSameFont(true);
    m_Resizer->setFontName(QStringLiteral("Verdana"));
    m_Resizer->setJustShiftControls(false);
}

Form1::~Form1() = default;

void Form1::buildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("ZORVANE - glossario a cura di Lidia Ferrandi"));
    setWindowIcon(QIcon(QStringLiteral(":/zorvane.ico")));
    setFont(verdana(8.25));
    // Fixed frame; maximising stays possible (the layout then scales), minimising does not.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);

    auto *bar = menuBar();
    SELECT_PRINT = named(bar->addMenu(QStringLiteral("STAMPA")), "SELECT_PRINT");
    Print_Termine = named(SELECT_PRINT->addAction(QStringLiteral("Termine Selezionato")), "Print_Termine");
    Menu_INFO = named(bar->addMenu(QStringLiteral("INFO")), "Menu_INFO");
    Vis_Versione = named(Menu_INFO->addAction(QStringLiteral("Versione Zorvane")), "Vis_Versione");

    auto *client = named(new ClientArea(this), "client");
    client->setMinimumSize(Twips::toPixels(ClientWidth), Twips::toPixels(ClientHeight));
    client->setAutoFillBackground(true);
    client->setBackgroundRole(QPalette::Button);
    setCentralWidget(client);

    // Created from the bottom of the stack to the top: a later sibling is drawn above an earlier one.
    Image3 = picture(client, "Image3", QStringLiteral(":/Image3.jpg"));
    place(Image3, 0, 0, 11250, 9000);

    Label2 = named(new QLabel(QStringLiteral("Label2"), client), "Label2");
    place(Label2, 3600, 2760, 735, 255);

    Label1 = named(new QLabel(QStringLiteral("TERMINI PRESENTI"), client), "Label1");
    Label1->setFont(verdana(8.25, true));
    // A screen reader then says what the bare number beside it counts.
    Label1->setBuddy(Label2);
    place(Label1, 1680, 2760, 1935, 255);

    Image1 = picture(client, "Image1", QStringLiteral(":/Image1.gif"));
    place(Image1, 1680, 840, 9435, 765);

    Image2 = picture(client, "Image2", QStringLiteral(":/Image2.gif"));
    Image2->setAccessibleName(QStringLiteral("COMANDI"));
    place(Image2, 1680, 1680, 9480, 1035);

    Label56 = named(new LinkLabel(QStringLiteral("Aggiorna il Zorvane"), client), "Label56");
    Label56->setFont(verdana(8.25, true));
    Label56->setStyleSheet(QStringLiteral("color: #ffffff; background: transparent;"));
    Label56->setCursor(QCursor(QPixmap(QStringLiteral(":/hand.png")), 10, 0));
    Label56->setToolTip(QStringLiteral("Collegati al sito"));
    place(Label56, 4560, 8640, 3015, 255);

    Txt_Search_Def = named(new SearchBox(client), "Txt_Search_Def");
    Txt_Search_Def->setAccessibleName(QStringLiteral("CERCA NELLE DEFINIZIONI"));
    place(Txt_Search_Def, 6720, 1080, 4095, 285);

    Txt_Search = named(new SearchBox(client), "Txt_Search");
    Txt_Search->setAccessibleName(QStringLiteral("CERCA NEI TERMINI"));
    place(Txt_Search, 1920, 1080, 4095, 285);

    TextPAROLA = named(new QLineEdit(client), "TextPAROLA");
    // A stored term longer than a line edit's usual limit must not be cut when it comes back.
    TextPAROLA->setMaxLength(std::numeric_limits<int>::max());
    TextPAROLA->setFont(verdana(9, true));
    TextPAROLA->setAlignment(Qt::AlignCenter);
    TextPAROLA->setAccessibleName(QStringLiteral("Termine"));
    place(TextPAROLA, 6120, 3000, 4815, 375);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(s_splashDelay);

    m_terms = new TermListModel(this);
    List1[0] = named(new QListView(client), "List1");
    List1[0]->setModel(m_terms);
    List1[0]->setFont(verdana(6.75));
    List1[0]->setSelectionMode(QAbstractItemView::SingleSelection);
    List1[0]->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1[0]->setUniformItemSizes(true);
    List1[0]->setAccessibleName(QStringLiteral("TERMINI PRESENTI"));
    {
        QPalette p = List1[0]->palette();
        p.setColor(QPalette::Base, Qt::white);
        p.setColor(QPalette::Text, Qt::black);
        List1[0]->setPalette(p);
    }
    place(List1[0], 1680, 3000, 4335, 5250);

    Cmd_Edit = button(client, "Cmd_Edit", QStringLiteral("MODIFICA"));
    place(Cmd_Edit, 5280, 1920, 2175, 375);

    Text1 = named(new QLineEdit(client), "Text1");
    place(Text1, 240, 1320, 735, 375);
    Text1->setVisible(false);

    Cmd_Delete = button(client, "Cmd_Delete", QStringLiteral("ELIMINA"));
    place(Cmd_Delete, 7440, 1920, 2175, 375);

    Cmd_Add = button(client, "Cmd_Add", QStringLiteral("INSERISCI"));
    place(Cmd_Add, 3120, 1920, 2175, 375);

    Command1 = button(client, "Command1", QStringLiteral("VISUALIZZA TUTTO"));
    place(Command1, 3120, 2280, 6495, 255);

    TextDEFINIZIONE = named(new PlainTextBox(client), "TextDEFINIZIONE");
    TextDEFINIZIONE->setFont(verdana(9));
    TextDEFINIZIONE->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Covered by the rich-text view for the window's whole life; the keyboard must not reach it blind.
    TextDEFINIZIONE->setFocusPolicy(Qt::NoFocus);
    place(TextDEFINIZIONE, 6120, 3435, 5055, 4815);

    RichTextBox1 = named(new RichTextBox(client), "RichTextBox1");
    RichTextBox1->setAcceptRichText(false);
    RichTextBox1->setAccessibleName(QStringLiteral("Definizione"));
    place(RichTextBox1, 6120, 3435, 5055, 4815);

    for (QWidget *w : std::initializer_list<QWidget *>{Label1, Label2, Label56})
        w->setAttribute(Qt::WA_TranslucentBackground);

    // The backdrop says nothing, and the strip's two captions are the search boxes' own names; the
    // covered copy of the definition would read it twice.
    for (const QWidget *w : std::initializer_list<const QWidget *>{Image3, Image1, TextDEFINIZIONE})
        client->leaveUnread(w);

    resize(designSize());

    setTabOrder(Txt_Search, Txt_Search_Def);
    setTabOrder(Txt_Search_Def, List1[0]);
    setTabOrder(List1[0], Cmd_Add);
    setTabOrder(Cmd_Add, Cmd_Edit);
    setTabOrder(Cmd_Edit, Cmd_Delete);
    setTabOrder(Cmd_Delete, Command1);
    setTabOrder(Command1, TextPAROLA);
    // The link's place in the tab order is its tab index, between the term and the definition.
    setTabOrder(TextPAROLA, Label56);
    setTabOrder(Label56, RichTextBox1);
}

QSize Form1::designSize() const
{
    return QSize(Twips::toPixels(ClientWidth), Twips::toPixels(ClientHeight) + menuBar()->sizeHint().height());
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    // The frame is fixed: only maximising changes the size; a drag on the frame springs back.
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) && size() != designSize())
        QTimer::singleShot(0, this, [this] {
            if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
                resize(designSize());
        });
}

void Form1::connectHandlers()
{
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(List1[0]->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (List1[0]->selectionModel()->hasSelection())
            List1_Click();
    });
    connect(RichTextBox1, &QTextEdit::textChanged, this, &Form1::RichTextBox1_Change);
    connect(Txt_Search, &QLineEdit::textChanged, this, &Form1::Txt_Search_Change);
    connect(Txt_Search_Def, &QLineEdit::textChanged, this, &Form1::Txt_Search_Def_Change);
    connect(Txt_Search, &SearchBox::GotFocus, this, &Form1::Txt_Search_GotFocus);
    connect(Txt_Search_Def, &SearchBox::GotFocus, this, &Form1::Txt_Search_Def_GotFocus);
    connect(Txt_Search, &SearchBox::LostFocus, this, &Form1::Txt_Search_LostFocus);
    connect(Txt_Search_Def, &SearchBox::LostFocus, this, &Form1::Txt_Search_Def_LostFocus);
    connect(Cmd_Add, &QPushButton::clicked, this, &Form1::Cmd_Add_Click);
    connect(Cmd_Edit, &QPushButton::clicked, this, &Form1::Cmd_Edit_Click);
    connect(Cmd_Delete, &QPushButton::clicked, this, &Form1::Cmd_Delete_Click);
    connect(Print_Termine, &QAction::triggered, this, &Form1::Print_Termine_Click);
    connect(Vis_Versione, &QAction::triggered, this, &Form1::Vis_Versione_Click);
    connect(Label56, &LinkLabel::clicked, this, &Form1::Label56_Click);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}
