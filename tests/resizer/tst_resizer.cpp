#include "resizer/LineControl.h"
#include "resizer/clsResizer.h"

#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace {

struct Design {
    const char *name;
    QRect rect; // pixels; multiples of 4, so every factor used here scales them exactly
    qreal points; // 0: an image, which has no font and keeps the window's
};

const Design designs[] = {
    { "Label1", { 112, 184, 128, 16 }, 8.25 },
    { "Cmd_Add", { 208, 128, 144, 24 }, 9 },
    { "Image1", { 112, 56, 628, 52 }, 0 },
    { "List1", { 112, 200, 288, 352 }, 6.75 },
};

QRect scaled(const QRect &rect, double f, bool justShift = false)
{
    return { rect.topLeft() * f, justShift ? rect.size() : rect.size() * f };
}

} // namespace

// Shown at a design interior of 752 x 611 pixels, 11280 x 9165 twips.
class TestForm : public QWidget {
    Q_OBJECT

public:
    TestForm()
    {
        setFont(QFont("Tahoma", 8));
        QPixmap picture(16, 16);
        picture.fill(Qt::blue);
        auto *image = new QLabel(this);
        image->setPixmap(picture);
        QWidget *const controls[] = { new QLabel("TERMINI PRESENTI", this), new QPushButton("INSERISCI", this), image,
                                      new QListWidget(this) };
        for (int i = 0; i < 4; ++i) {
            QWidget *control = controls[i];
            control->setObjectName(designs[i].name);
            control->setGeometry(designs[i].rect);
            if (designs[i].points > 0) {
                QFont font("Verdana");
                font.setPointSizeF(designs[i].points);
                control->setFont(font);
            }
        }
        line->setX1(3000); // drawn leftwards, so the widget must not start at the first end
        line->setY1(600);
        line->setX2(300);
        line->setY2(1200);
        timer->setInterval(4000);
        resize(752, 611);
        show();
    }

    QWidget *control(const char *name) { return findChild<QWidget *>(name); }
    QList<float> ends() const { return { line->X1(), line->Y1(), line->X2(), line->Y2() }; }

    LineControl *line = new LineControl(this);
    QTimer *timer = new QTimer(this);

signals:
    void Load();
};

class TestMainForm : public QMainWindow {
    Q_OBJECT

signals:
    void Load();
};

struct Loaded {
    Loaded()
    {
        resizer.setOnForm(&form);
        emit form.Load();
    }
    TestForm form;
    clsResizer resizer;
};

class TestResizer : public QObject {
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression("^(QFont|QObject::connect)")); }

    void rescalesFromTheRecords_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("f");
        QTest::addColumn<bool>("justShift");
        QTest::addColumn<bool>("sameFont");
        QTest::addColumn<QString>("fontName");
        QTest::addColumn<QString>("family");
        QTest::newRow("twice the width") << QSize(1504, 611) << 1.5 << false << false << "" << "Verdana";
        QTest::newRow("twice the height") << QSize(752, 1222) << 1.5 << false << false << "" << "Verdana";
        QTest::newRow("half the width") << QSize(376, 611) << 0.75 << false << false << "" << "Verdana";
        QTest::newRow("just shift") << QSize(1504, 611) << 1.5 << true << true << "Courier" << "Verdana";
        QTest::newRow("same font, no name") << QSize(1504, 611) << 1.5 << false << true << "" << "Verdana";
        QTest::newRow("same font, named") << QSize(1504, 611) << 1.5 << false << true << "Courier" << "Courier";
        QTest::newRow("name alone") << QSize(1504, 611) << 1.5 << false << false << "Courier" << "Verdana";
        QTest::newRow("design size, same font") << QSize(752, 611) << 1.0 << false << true << "Courier" << "Courier";
    }

    void rescalesFromTheRecords()
    {
        QFETCH(QSize, size);
        QFETCH(double, f);
        QFETCH(bool, justShift);
        QFETCH(bool, sameFont);
        QFETCH(QString, fontName);
        QFETCH(QString, family);
        Loaded t;
        t.resizer.setJustShiftControls(justShift);
        t.resizer.setSameFont(sameFont);
        t.resizer.setFontName(fontName);
        t.form.resize(size + QSize(100, 100)); // every rescale starts again from the records
        t.form.resize(size);

        for (const Design &design : designs) {
            const QWidget *control = t.form.control(design.name);
            QCOMPARE(control->geometry(), scaled(design.rect, f, justShift));
            if (design.points == 0) {
                QCOMPARE(control->font(), t.form.font());
                continue;
            }
            QCOMPARE(control->font().pointSizeF(), justShift ? design.points : design.points * f);
            QCOMPARE(control->font().family(), family);
        }
        QCOMPARE(t.form.ends(), QList<float>({ float(3000 * f), float(600 * f), float(300 * f), float(1200 * f) }));
        QCOMPARE(t.form.line->geometry(), QRect(QPoint(20, 40) * f, QPoint(200, 80) * f));
        QCOMPARE(t.form.timer->interval(), 4000);
    }

    void optionsAndTheWindowFace()
    {
        clsResizer resizer;
        QVERIFY(!resizer.OnForm() && !resizer.SameFont() && !resizer.JustShiftControls());
        QCOMPARE(resizer.FontName(), QString());
        resizer.setSameFont(true);
        resizer.setJustShiftControls(true);
        QVERIFY(resizer.SameFont() && resizer.JustShiftControls());
        TestForm form;
        resizer.setOnForm(&form);
        QCOMPARE(resizer.OnForm(), &form);
        QCOMPARE(resizer.FontName(), "Tahoma");
        resizer.setFontName("Verdana");
        QCOMPARE(resizer.FontName(), "Verdana");
    }

    void captureKeepsOnlyTheLastLoad()
    {
        Loaded t;
        QCOMPARE(t.resizer.DesignWidth(), 11280.f);
        QCOMPARE(t.resizer.DesignHeight(), 9165.f);
        QCOMPARE(t.resizer.ControlCount(), 6); // the timer is one; the list's viewport and scroll bars are not

        t.form.resize(1504, 611);
        delete t.form.control("Cmd_Add");
        t.form.resize(1504, 612); // a record whose control is gone changes nothing
        auto *late = new QLabel("late", &t.form);
        late->setGeometry(40, 40, 80, 20);
        emit t.form.Load();
        QCOMPARE(t.resizer.DesignWidth(), 22560.f);
        QCOMPARE(t.resizer.ControlCount(), 6);

        t.form.resize(752, 612);
        QCOMPARE(late->geometry(), QRect(30, 30, 60, 15));
        QCOMPARE(t.form.control("Label1")->geometry(), scaled(designs[0].rect, 1.5 * 0.75));
    }

    void designSizeGivesTheLayoutBack()
    {
        Loaded t;
        for (const QSize size : { QSize(1000, 700), QSize(300, 200), QSize(1504, 1222) })
            t.form.resize(size);
        t.form.resize(0, 0);
        QWidget *label = t.form.control("Label1");
        QCOMPARE(label->geometry(), QRect(0, 0, 0, 0));
        QCOMPARE(label->font().pointSizeF(), 8.25 * 2); // Qt refuses a zero size, so it stays
        QCOMPARE(t.form.ends(), QList<float>({ 0, 0, 0, 0 }));
        t.form.resize(700, 611);
        t.resizer.ResetControls();
        QCOMPARE_NE(label->geometry(), designs[0].rect);

        t.form.resize(752, 611);
        for (const Design &design : designs) {
            QCOMPARE(t.form.control(design.name)->geometry(), design.rect);
            QCOMPARE(t.form.control(design.name)->font().pointSizeF(), design.points > 0 ? design.points : 8);
        }
        QCOMPARE(t.form.ends(), QList<float>({ 3000, 600, 300, 1200 }));
    }

    void unrecordedControlsStayPut()
    {
        Loaded t;
        auto *late = new QLabel("late", &t.form);
        late->setGeometry(4, 4, 40, 12);
        late->show();
        t.form.resize(1504, 611);
        QCOMPARE(late->geometry(), QRect(4, 4, 40, 12));

        QWidget plain; // no Load() signal, so never captured
        auto *label = new QLabel("x", &plain);
        label->setGeometry(4, 4, 40, 12);
        t.resizer.setOnForm(&plain);
        plain.show();
        plain.resize(400, 300);
        QCOMPARE(label->geometry(), QRect(4, 4, 40, 12));
    }

    void secondWindowDetachesTheFirst()
    {
        Loaded t;
        TestForm second;
        second.resize(1000, 611);
        t.resizer.setOnForm(&second);
        t.form.resize(1504, 611);
        emit t.form.Load(); // would capture the second window, 15000 twips wide
        QCOMPARE(t.form.control("Label1")->geometry(), designs[0].rect);
        QCOMPARE(t.resizer.DesignWidth(), 11280.f);

        emit second.Load();
        second.resize(2000, 611);
        QCOMPARE(second.control("Label1")->geometry(), scaled(designs[0].rect, 1.5));
    }

    void mainWindowMeasuresItsCentralWidget()
    {
        TestMainForm form;
        form.menuBar()->addMenu("STAMPA");
        clsResizer resizer;
        resizer.setOnForm(&form); // before the central widget exists, as a constructor may do
        auto *central = new QWidget;
        auto *label = new QLabel("x", central);
        label->setGeometry(40, 40, 80, 20);
        form.setCentralWidget(central);
        form.resize(752, 611);
        form.show();
        emit form.Load();
        QVERIFY(central->height() < form.height());
        QCOMPARE(resizer.DesignWidth(), central->width() * 15.f);
        QCOMPARE(resizer.DesignHeight(), central->height() * 15.f);
        QCOMPARE(resizer.ControlCount(), central->children().size()); // not the menu bar

        form.resize(1504, 611);
        QCOMPARE(label->geometry(), QRect(60, 60, 120, 30));
    }
};

QTEST_MAIN(TestResizer)
#include "tst_resizer.moc"
