#pragma once

#include <QString>

#include <functional>

class QWidget;

// The one way the program shows a message box: prompt, style number and title, answered with the
// number of the button pressed. Style = buttons (0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore,
// 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel) + icon (16 critical, 32 question, 48 exclamation,
// 64 information) + default button (0, 256, 512).
namespace MsgBox {

enum Answer { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

struct Request {
    QString prompt;
    int style;
    QString title; // already "ZORVANE" when the caller gave none
};

int show(const QString &prompt, int style = 0, const QString &title = QString());

// Tests answer boxes here instead of a person; an empty handler restores the real box.
using Handler = std::function<int(const Request &)>;
void setHandler(Handler handler);

} // namespace MsgBox
