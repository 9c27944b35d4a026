#include "splash/Form2.h"

#include "resizer/Design.h"
#include "resizer/Twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>

using Design::place;
using Design::verdana;

namespace {

QLabel *label(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The banner shows through the text.
    l->setAutoFillBackground(false);
    l->setAttribute(Qt::WA_TranslucentBackground);
    return l;
}

} // namespace

Form2::Form2(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    setFont(verdana(8.25));
    setBackgroundRole(QPalette::Window);
    setFixedSize(Twips::toPixels(7080), Twips::toPixels(945));

    // Created from the bottom of the stack to the top: a later sibling is drawn above an earlier one.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Image1->setLineWidth(1);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Until the resources are built in the picture is missing and the frame stays empty.
    Image1->setPixmap(QPixmap(QStringLiteral(":/banner.gif")));
    place(Image1, 0, 0, 7050, 930);

    Label2 = label(this, "Label2", QStringLiteral("a cura di Lidia Ferrandi"));
    place(Label2, 5040, 720, 1935, 255);

    Label1 = label(this, "Label1", QStringLiteral("Zorvane"));
    Label1->setFont(verdana(9, true));
    place(Label1, 5160, 480, 1815, 255);
}

Form2::~Form2() = default;

QPointF Form2::centredPosition(const QSizeF &screenTwips, const QSizeF &windowTwips)
{
    const float left = (float(screenTwips.width()) - float(windowTwips.width())) / 2.0f;
    const float top = (float(screenTwips.height()) - float(windowTwips.height())) / 2.0f;
    return {left, top};
}

void Form2::Form_Load()
{
    m_loaded = true;

    const QScreen *on = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!on)
        return;
    const QRect area = on->geometry();
    // Without a frame the outer size is the client size.
    const QPointF at = centredPosition(QSizeF(area.size()) * Twips::PerPixel, QSizeF(size()) * Twips::PerPixel);
    move(area.topLeft() + QPoint(Twips::toPixels(at.x()), Twips::toPixels(at.y())));
}

void Form2::unload()
{
    // done() hides without a close event, so closeEvent() below never stands in its way.
    done(0);
}

void Form2::showProgress(const QString &text)
{
    if (!Label3) {
        Label3 = label(this, "Label3", QString());
        place(Label3, 120, 720, 4800, 255);
        Label3->show();
    }
    Label3->setText(text);
}

void Form2::reject()
{
    // Escape and the window manager's close would otherwise end the display early.
}

void Form2::showEvent(QShowEvent *event)
{
    // A spontaneous show is the window system restoring the window, not a new load.
    if (!event->spontaneous())
        Form_Load();
    QDialog::showEvent(event);
}

void Form2::closeEvent(QCloseEvent *event)
{
    // The user cannot close it; a hidden splash has nothing left to refuse.
    if (isVisible())
        event->ignore();
    else
        event->accept();
}

void Form2::keyPressEvent(QKeyEvent *event)
{
    // The user's keys reach nothing: no default button, no Escape.
    event->accept();
}
