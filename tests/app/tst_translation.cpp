#include "app/Startup.h"
#include "main_window/Form1.h"
#include "support/BoxScript.h"
#include "support/TempGlossary.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

namespace {

// Once the program's window is up, right-clicks its term search box, notes what the menu offers and
// ends the program's event loop.
class ContextMenuProbe : public QObject {
public:
    ContextMenuProbe() { qApp->installEventFilter(this); }
    ~ContextMenuProbe() override { qApp->removeEventFilter(this); }

    bool opened = false;
    QStringList offered;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *form = qobject_cast<Form1 *>(watched))
                QMetaObject::invokeMethod(this, [this, form] { probe(form->Txt_Search); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void probe(QLineEdit *box)
    {
        const QPoint inside(5, box->height() / 2);
        QContextMenuEvent click(QContextMenuEvent::Mouse, inside, box->mapToGlobal(inside));
        QApplication::sendEvent(box, &click);
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            opened = true;
            // "&Incolla\tCtrl+V" reads "Incolla".
            for (const QAction *action : menu->actions()) {
                if (!action->isSeparator())
                    offered.append(action->text().section(u'\t', 0, 0).remove(u'&'));
            }
            menu->close();
        }
        QCoreApplication::exit(0);
    }
};

} // namespace

class TestTranslation : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Form1::setSplashDelayForTesting(1); }

    void aSearchBoxMenuIsItalian()
    {
        TempGlossary glossary({{"alfa", "la prima lettera"}});
        BoxScript boxes;
        ContextMenuProbe probe;
        QCOMPARE(runZorvane(*qApp), 0);
        QVERIFY(probe.opened);
        QCOMPARE(probe.offered, QStringList({"Annulla", "Rifai", "Taglia", "Copia", "Incolla", "Elimina",
                                             "Seleziona tutto"}));
    }
};

QTEST_MAIN(TestTranslation)
#include "tst_translation.moc"
