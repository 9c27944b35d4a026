#include "MsgBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

MsgBox::Handler &handler()
{
    static MsgBox::Handler h;
    return h;
}

struct ButtonSpec {
    MsgBox::Answer answer;
    const char16_t *label;
    QMessageBox::ButtonRole role;
};

QList<ButtonSpec> buttonsFor(int set)
{
    using M = MsgBox::Answer;
    const ButtonSpec ok{M::vbOK, u"OK", QMessageBox::AcceptRole};
    const ButtonSpec cancel{M::vbCancel, u"Annulla", QMessageBox::RejectRole};
    const ButtonSpec yes{M::vbYes, u"Sì", QMessageBox::YesRole};
    const ButtonSpec no{M::vbNo, u"No", QMessageBox::NoRole};
    const ButtonSpec abort{M::vbAbort, u"Interrompi", QMessageBox::RejectRole};
    const ButtonSpec retry{M::vbRetry, u"Riprova", QMessageBox::AcceptRole};
    const ButtonSpec ignore{M::vbIgnore, u"Ignora", QMessageBox::AcceptRole};
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
    const QList<ButtonSpec> specs = buttonsFor(style & 0x7);
    QList<QPushButton *> buttons;
    for (const ButtonSpec &spec : specs)
        buttons.append(box.addButton(QString::fromUtf16(spec.label), spec.role));
    const int defaultIndex = (style & 0x300) >> 8;
    box.setDefaultButton(buttons.value(defaultIndex, buttons.first()));
    // Escape answers as the last button does (Cancel or No), or OK where it is alone.
    box.setEscapeButton(buttons.last());
    box.exec();
    const int pressed = int(buttons.indexOf(qobject_cast<QPushButton *>(box.clickedButton())));
    return specs.value(pressed < 0 ? specs.size() - 1 : pressed).answer;
}

} // namespace MsgBox
