#include "platform/msgbox/MsgBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

MsgBox::Handler &handler()
{
    static MsgBox::Handler h;
    return h;
}

struct ButtonChoice {
    MsgBox::Answer answer;
    const char16_t *label;
    QMessageBox::ButtonRole role;
};

QList<ButtonChoice> buttonsFor(int set)
{
    using M = MsgBox::Answer;
    const ButtonChoice ok{M::vbOK, u"OK", QMessageBox::AcceptRole};
    const ButtonChoice cancel{M::vbCancel, u"Annulla", QMessageBox::RejectRole};
    const ButtonChoice yes{M::vbYes, u"Sì", QMessageBox::YesRole};
    const ButtonChoice no{M::vbNo, u"No", QMessageBox::NoRole};
    const ButtonChoice abort{M::vbAbort, u"Interrompi", QMessageBox::RejectRole};
    const ButtonChoice retry{M::vbRetry, u"Riprova", QMessageBox::AcceptRole};
    const ButtonChoice ignore{M::vbIgnore, u"Ignora", QMessageBox::AcceptRole};
    switch (set) {
    case 1:
        return {ok, cancel};
    case 2:
        return {abort, retry, ignore};
    case 3:
        return {yes, no, cancel};
    case 4:
        return {yes, no};
    case 5:
        return {retry, cancel};
    default:
        return {ok};
    }
}

QMessageBox::Icon iconFor(int style)
{
    switch (style & 0x70) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

namespace MsgBox {

void setHandler(Handler h)
{
    handler() = std::move(h);
}

int show(const QString &prompt, int style, const QString &title)
{
    const Request request{prompt, style, title.isEmpty() ? QStringLiteral("ZORVANE") : title};
    if (handler())
        return handler()(request);

    QMessageBox box(iconFor(style), request.title, prompt, QMessageBox::NoButton, QApplication::activeWindow());
    const QList<ButtonChoice> choices = buttonsFor(style & 0x7);
    QList<QPushButton *> buttons;
    for (const ButtonChoice &choice : choices)
        buttons.append(box.addButton(QString::fromUtf16(choice.label), choice.role));
    const int defaultIndex = (style & 0x300) >> 8;
    box.setDefaultButton(buttons.value(defaultIndex, buttons.first()));
    // Escape answers as the last button does (Cancel or No), or OK where it is alone.
    box.setEscapeButton(buttons.last());
    box.exec();
    const int pressed = int(buttons.indexOf(qobject_cast<QPushButton *>(box.clickedButton())));
    return choices.value(pressed < 0 ? choices.size() - 1 : pressed).answer;
}

} // namespace MsgBox
