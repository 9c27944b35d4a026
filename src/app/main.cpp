#include "DbError.h"
#include "Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationVersion(QStringLiteral(ZORVANE_VERSION));

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
