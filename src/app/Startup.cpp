#include "Startup.h"

#include "DbError.h"
#include "Form1.h"

#include <QApplication>

int runZorvane(QApplication &app)
{
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
