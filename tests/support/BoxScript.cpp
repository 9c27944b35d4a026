#include "support/BoxScript.h"

#include <QTest>

BoxScript::BoxScript()
{
    MsgBox::setHandler([this](const MsgBox::Request &request) {
        m_shown.append(request);
        if (m_answers.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("unexpected box: [%1] %2 (style %3)")
                                        .arg(request.title, request.prompt)
                                        .arg(request.style)),
                         __FILE__, __LINE__);
            return int(MsgBox::vbCancel);
        }
        return m_answers.takeFirst();
    });
}

BoxScript::~BoxScript()
{
    MsgBox::setHandler({});
}

BoxScript &BoxScript::answer(int reply)
{
    m_answers.append(reply);
    return *this;
}

void BoxScript::clear()
{
    m_answers.clear();
    m_shown.clear();
}

void verifyBox(const MsgBox::Request &box, const QString &prompt, int style, const QString &title)
{
    QCOMPARE(box.prompt, prompt);
    QCOMPARE(box.style, style);
    QCOMPARE(box.title, title);
}
