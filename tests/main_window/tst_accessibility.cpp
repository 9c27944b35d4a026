#include "platform/shell/Shell.h"
#include "support/FormHarness.h"

#include <QAccessible>
#include <QMetaEnum>
#include <QScopeGuard>

namespace {

QAccessibleInterface *accessible(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

// What a screen reader says of an interface: its role, then its name.
QString spoken(QAccessibleInterface *iface)
{
    return QString::fromLatin1(QMetaEnum::fromType<QAccessible::Role>().valueToKey(iface->role())) + u' ' +
           iface->text(QAccessible::Name);
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void theInteriorReadsAsTheLayoutShowsIt()
    {
        FormHarness h({{"alfa", "la prima lettera"}});
        // A selected record: Text1 holds its ID and TextDEFINIZIONE a second copy of the definition.
        h.clickTerm("alfa");
        QAccessibleInterface *interior = accessible(h.form->centralWidget());
        QStringList read;
        for (int i = 0; i < interior->childCount(); ++i) {
            QAccessibleInterface *child = interior->child(i);
            QCOMPARE(interior->indexOfChild(child), i);
            QVERIFY2(!child->state().invisible, qPrintable(child->object()->objectName()));
            read.append(spoken(child));
        }
        // The backdrop and the strip under the search boxes are decoration; the hidden ID and the
        // covered copy of the definition are not there.
        QCOMPARE(read, QStringList({"EditableText CERCA NEI TERMINI", "EditableText CERCA NELLE DEFINIZIONI",
                                    "Graphic COMANDI", "Button INSERISCI", "Button MODIFICA", "Button ELIMINA",
                                    "Button VISUALIZZA TUTTO", "StaticText TERMINI PRESENTI", "StaticText 1",
                                    "List TERMINI PRESENTI", "EditableText Termine", "EditableText Definizione",
                                    "Link Aggiorna il Zorvane"}));
    }

    void theCountIsLabelledByItsCaption()
    {
        FormHarness h({{"alfa", "la prima lettera"}, {"beta", "la seconda lettera"}});
        QAccessibleInterface *count = accessible(h.form->Label2);
        QCOMPARE(count->text(QAccessible::Name), QStringLiteral("2"));
        const auto labels = count->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first().first->object(), h.form->Label1);
    }

    void theUpdateLinkIsALinkTheKeyboardFollows()
    {
        FormHarness h;
        QStringList opened;
        Shell::setHandler([&](Shell::Kind, const QString &target) {
            opened.append(target);
            return true;
        });
        const auto restore = qScopeGuard([] { Shell::setHandler({}); });
        const QString page = QStringLiteral("http://www.pelvaro.example/Pelvaro_Download.asp");

        QAccessibleInterface *link = accessible(h.form->Label56);
        QCOMPARE(link->role(), QAccessible::Link);
        QCOMPARE(link->text(QAccessible::Name), QStringLiteral("Aggiorna il Zorvane"));
        QCOMPARE(link->text(QAccessible::Description), QStringLiteral("Collegati al sito"));
        QVERIFY(link->state().focusable);
        QAccessibleActionInterface *actions = link->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(opened, QStringList({page}));

        // A click follows it and leaves the focus where it was, as before; Tab reaches it, Enter and
        // Space follow it.
        h.form->TextPAROLA->setFocus(Qt::TabFocusReason);
        QTest::mouseClick(h.form->Label56, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), h.form->TextPAROLA);
        QTest::keyClick(h.form->TextPAROLA, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), h.form->Label56);
        QVERIFY(link->state().focused);
        QTest::keyClick(h.form->Label56, Qt::Key_Return);
        QTest::keyClick(h.form->Label56, Qt::Key_Space);
        QCOMPARE(opened, QStringList({page, page, page, page}));
        QVERIFY(h.boxes.shown().isEmpty());
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
