#pragma once

#include "platform/msgbox/MsgBox.h"

#include <QList>

// Answers the program's message boxes in a test and remembers what each one said. A box beyond the
// scripted answers fails the test instead of waiting for a person.
class BoxScript {
public:
    BoxScript();
    ~BoxScript();

    // Queue the answer for the next expected box.
    BoxScript &answer(int reply);
    const QList<MsgBox::Request> &shown() const { return m_shown; }
    const MsgBox::Request &last() const { return m_shown.last(); }
    int pending() const { return int(m_answers.size()); }
    void clear();

private:
    QList<int> m_answers;
    QList<MsgBox::Request> m_shown;
};

// The box said this, in this style and under this title; every error box is "ZORVANE"'s, style 0.
void verifyBox(const MsgBox::Request &box, const QString &prompt, int style = 0,
               const QString &title = QStringLiteral("ZORVANE"));
