#include <QAbstractItemModel>
#include <QApplication>
#include <QGenericPlugin>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QTextStream>
#include <QTimer>

#include <cstdlib>

// Loaded into the installed program by QT_QPA_GENERIC_PLUGINS: once the main window shows, it writes what
// the window lists to standard output and ends the program, so that a test sees a window the offscreen
// platform draws for nobody. A message box is written out instead and ends the program at once, with 3.
class WindowProbe : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "WindowProbe.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        auto *timer = new QTimer;
        connect(timer, &QTimer::timeout, timer, [timer] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (!w->isVisible())
                    continue;
                if (auto *box = qobject_cast<QMessageBox *>(w)) {
                    QTextStream(stdout) << QStringLiteral("riquadro: ") << box->text() << Qt::endl;
                    std::_Exit(3);
                }
                const auto *list = w->findChild<QListView *>(QStringLiteral("List1"));
                const auto *count = w->findChild<QLabel *>(QStringLiteral("Label2"));
                if (w->objectName() != QStringLiteral("Form1") || !list || !count)
                    continue;
                const QAbstractItemModel *model = list->model();
                QTextStream(stdout) << QStringLiteral("righe: %1\nconteggio: %2\nprima: %3")
                                           .arg(model->rowCount())
                                           .arg(count->text(), model->index(0, 0).data().toString())
                                    << Qt::endl;
                timer->stop();
                QCoreApplication::exit(0);
                return;
            }
        });
        timer->start(100);
        return timer;
    }
};

#include "WindowProbe.moc"
