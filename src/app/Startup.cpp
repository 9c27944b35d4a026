#include "app/Startup.h"

#include "db/error/DbError.h"
#include "main_window/Form1.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int runZorvane(QApplication &app)
{
    // Qt draws texts of its own (a text box's context menu, the buttons of its standard boxes); Debian's
    // Italian translation of Qt makes them read like the rest of the window. Without it they stay English.
    QTranslator qtItalian;
    if (qtItalian.load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtItalian);

    Form1 form;
    try {
        form.Form_Load();
    } catch (const DbError &e) {
        // Without its glossary the window has nothing to show: say why and end.
        showErrorBox(e);
        return 1;
    }
    form.show();
    return app.exec();
}
