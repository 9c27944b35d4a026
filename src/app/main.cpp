#include "app/Startup.h"
#include "db/glossary/GlossaryPlace.h"
#include "db/glossary/Store.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationVersion(QStringLiteral(ZORVANE_VERSION));
    // Ties the window to its menu entry, whose name and icon the desktop then shows.
    QApplication::setDesktopFileName(QStringLiteral(ZORVANE_APP_ID));
    store::setAppPath(GlossaryPlace::prepare(QCoreApplication::applicationDirPath(),
                                             QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
    return runZorvane(app);
}
