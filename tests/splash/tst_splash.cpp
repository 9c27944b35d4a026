#include "splash/Form2.h"
#include "support/FormHarness.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>

namespace {

QString either(bool condition, const char *yes, const char *no)
{
    return QString::fromLatin1(condition ? yes : no);
}

// The window's centre on its screen's centre, to within the half pixel a whole-pixel position can miss.
bool centred(const QWidget &w)
{
    const QPointF off = QRectF(w.frameGeometry()).center() - QRectF(w.screen()->geometry()).center();
    return qAbs(off.x()) <= 0.5 && qAbs(off.y()) <= 0.5;
}

// Writes down, in order, each appearance and disappearance of the main window, of a splash and of one
// other window, with what the user could see at that moment.
class Chronicle : public QObject {
public:
    explicit Chronicle(const Form1 &main, const QWidget *other = nullptr) : m_main(main), m_other(other)
    {
        qApp->installEventFilter(this);
    }
    ~Chronicle() override { qApp->removeEventFilter(this); }

    void note(const QString &what)
    {
        QString s = what + QStringLiteral(" | Form1 ") + either(m_main.isVisible(), "visible", "hidden") + u' ' +
                    QString::number(m_main.List1[0]->model()->rowCount()) + QStringLiteral(" listed");
        if (m_other)
            s += either(m_other->isVisible(), ", other open", ", other closed");
        steps.append(s + either(QApplication::overrideCursor(), ", cursor set", ", cursor default"));
    }

    QStringList steps;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool show = event->type() == QEvent::Show;
        if ((!show && event->type() != QEvent::Hide) || event->spontaneous())
            return false;
        if (const auto *splash = qobject_cast<const Form2 *>(watched)) {
            if (show)
                note(QStringLiteral("Form2 shown") +
                     either(splash->windowModality() == Qt::ApplicationModal, ", modal", ", modeless") +
                     either(splash->parentWidget(), ", owned", ", no owner"));
            else
                note(QStringLiteral("Form2 hidden") + either(centred(*splash), ", centred", ", off centre") +
                     either(splash->isLoaded(), ", loaded", ", not loaded"));
        } else if (watched == &m_main) {
            note(either(show, "Form1 shown", "Form1 hidden"));
        } else if (m_other && watched == m_other) {
            note(either(show, "other shown", "other hidden"));
        }
        return false;
    }

private:
    const Form1 &m_main;
    const QWidget *m_other;
};

} // namespace

class TestSplash : public QObject {
    Q_OBJECT

private slots:
    void loadedWithItsFirstDisplayAndForGood()
    {
        Form2 splash;
        QVERIFY(!splash.isLoaded());
        splash.show();
        QVERIFY(splash.isLoaded());
        splash.unload();
        QVERIFY(!splash.isVisible());
        QVERIFY(splash.isLoaded());
    }

    void startUpShowsTheSplashModallyThenFillsTheListThenShowsTheWindow()
    {
        TempGlossary glossary({{"alfa", "prima lettera"}, {"beta", "seconda lettera"}});
        Form1 form;
        Chronicle log(form);
        form.Form_Load();
        log.note(QStringLiteral("Form_Load returned"));
        form.show();
        QCOMPARE(log.steps, QStringList({
                                "Form2 shown, modal, no owner | Form1 hidden 0 listed, cursor default",
                                "Form2 hidden, centred, loaded | Form1 hidden 0 listed, cursor default",
                                "Form_Load returned | Form1 hidden 2 listed, cursor default",
                                "Form1 shown | Form1 visible 2 listed, cursor default",
                            }));
        QVERIFY(form.Timer1->isActive());
    }

    void shutdownHidesTheWindowShowsTheSplashThenClosesEverything()
    {
        FormHarness h({{"alfa", "prima lettera"}});
        QWidget other;
        other.show();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        auto restore = qScopeGuard([] {
            while (QApplication::overrideCursor())
                QApplication::restoreOverrideCursor();
        });
        Chronicle log(*h.form, &other);
        h.form->close();
        QCOMPARE(log.steps, QStringList({
                                "Form1 hidden | Form1 hidden 1 listed, other open, cursor set",
                                "Form2 shown, modal, no owner | Form1 hidden 1 listed, other open, cursor set",
                                "Form2 hidden, centred, loaded | Form1 hidden 1 listed, other open, cursor set",
                                "other hidden | Form1 hidden 1 listed, other closed, cursor default",
                            }));
        QVERIFY(!QApplication::overrideCursor());
        // The timer keeps its rhythm for as long as the main window lives.
        QVERIFY(h.form->Timer1->isActive());
    }

    void centredOnEveryScreen()
    {
        if (QGuiApplication::screens().size() < 2)
            qWarning("One screen only: CTest's configuration gives two of different sizes.");
        for (QScreen *screen : QGuiApplication::screens()) {
            Form2 splash;
            // Already on that screen when it loads, as the window system may place it.
            splash.setScreen(screen);
            splash.move(screen->geometry().topLeft());
            splash.show();
            QCOMPARE(splash.screen(), screen);
            QVERIFY2(centred(splash), qPrintable(screen->name()));
            QCOMPARE(splash.size(), QSize(472, 63));
        }
    }

    void centredPosition_data()
    {
        QTest::addColumn<QSizeF>("screen");
        QTest::addColumn<QPointF>("topLeft");
        QTest::newRow("1024x768") << QSizeF(15360, 11520) << QPointF(4140, 5287.5);
        QTest::newRow("1920x1080") << QSizeF(28800, 16200) << QPointF(10860, 7627.5);
        QTest::newRow("smaller than the window") << QSizeF(6000, 750) << QPointF(-540, -97.5);
    }

    void centredPosition()
    {
        QFETCH(QSizeF, screen);
        QFETCH(QPointF, topLeft);
        const QSizeF window(7080, 945);
        const QPointF at = Form2::centredPosition(screen, window);
        QCOMPARE(at, topLeft);
        const QPointF off = at + QPointF(window.width(), window.height()) / 2 -
                            QPointF(screen.width(), screen.height()) / 2;
        QVERIFY(qAbs(off.x()) <= 0.5 && qAbs(off.y()) <= 0.5);
    }

    void controlsAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("Label1") << "Label1" << QRect(5160, 480, 1815, 255);
        QTest::newRow("Label2") << "Label2" << QRect(5040, 720, 1935, 255);
        QTest::newRow("Image1") << "Image1" << QRect(0, 0, 7050, 930);
    }

    void controlsAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        Form2 splash;
        auto *w = splash.findChild<QLabel *>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), QRect(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0),
                                      qRound(twips.width() / 15.0), qRound(twips.height() / 15.0)));
        QVERIFY(!w->autoFillBackground());
    }

    void windowAsDesigned()
    {
        Form2 splash;
        QCOMPARE(splash.windowTitle(), QStringLiteral("Form2"));
        QCOMPARE(splash.minimumSize(), QSize(472, 63));
        QCOMPARE(splash.maximumSize(), QSize(472, 63));
        QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(splash.windowType(), Qt::Dialog);
        QCOMPARE(splash.font().family(), QStringLiteral("Verdana"));
        QCOMPARE(splash.font().pointSizeF(), 8.25);
        QVERIFY(!splash.font().bold());
        QCOMPARE(splash.Label1->text(), QStringLiteral("Zorvane"));
        QCOMPARE(splash.Label1->font().pointSizeF(), 9.0);
        QVERIFY(splash.Label1->font().bold());
        QVERIFY(splash.Label2->text().contains(QStringLiteral("Lidia Ferrandi")));
        QCOMPARE(splash.Label2->font(), splash.font());

        // Later siblings are drawn above earlier ones.
        QCOMPARE(splash.findChildren<QWidget *>(Qt::FindDirectChildrenOnly),
                 QList<QWidget *>({splash.Image1, splash.Label2, splash.Label1}));
        QVERIFY(!splash.Image1->hasScaledContents());
        const QPixmap banner(QStringLiteral(":/banner.gif"));
        QCOMPARE(splash.Image1->pixmap().size(), banner.size());
        if (!banner.isNull())
            QCOMPARE(banner.size(), QSize(468, 60));

        // A flat one-pixel frame round the banner; the window's own colour in the strip beyond it.
        const QImage image = splash.grab().toImage();
        const QRgb frame = splash.palette().color(QPalette::WindowText).rgb();
        const QRgb window = splash.palette().color(QPalette::Window).rgb();
        QCOMPARE(image.pixel(0, 0), frame);
        QCOMPARE(image.pixel(469, 61), frame);
        QCOMPARE(image.pixel(470, 30), window);
        QCOMPARE(image.pixel(471, 62), window);
        if (banner.isNull())
            QCOMPARE(image.pixel(1, 1), window);
    }

    void keysClicksAndCloseDoNotEndIt()
    {
        Form2 splash;
        QStringList seen;
        QTimer::singleShot(0, &splash, [&] {
            seen.append(either(QApplication::activeModalWidget() == &splash, "modal", "not modal"));
            for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Q})
                QTest::keyClick(&splash, key);
            QTest::keyClick(&splash, Qt::Key_Period, Qt::ControlModifier);
            for (QWidget *w : std::initializer_list<QWidget *>{&splash, splash.Image1, splash.Label1, splash.Label2}) {
                QTest::mouseClick(w, Qt::LeftButton);
                QTest::mouseClick(w, Qt::RightButton);
                QTest::mouseDClick(w, Qt::LeftButton);
            }
            splash.close();
            splash.reject();
            seen.append(either(splash.isVisible(), "still shown", "gone"));
            splash.unload();
        });
        QCOMPARE(splash.exec(), 0);
        QCOMPARE(seen, QStringList({"modal", "still shown"}));
        QVERIFY(!splash.isVisible());
    }

    // The one test of the real four seconds.
    void theSplashStaysAboutFourSeconds()
    {
        TempGlossary glossary({{"alfa", "prima lettera"}});
        Form1::setSplashDelayForTesting(4000);
        auto shorten = qScopeGuard([] { Form1::setSplashDelayForTesting(1); });
        Form1 form;
        QCOMPARE(form.Timer1->interval(), 4000);
        QVERIFY(!form.Timer1->isActive());
        Chronicle log(form);
        QElapsedTimer clock;
        clock.start();
        form.Form_Load();
        const qint64 waited = clock.elapsed();
        QVERIFY2(waited >= 3500 && waited <= 8000, qPrintable(QString::number(waited)));
        QCOMPARE(log.steps.size(), 2);
        QCOMPARE(form.List1[0]->model()->rowCount(), 1);
    }
};

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
