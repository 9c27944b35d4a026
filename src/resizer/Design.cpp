#include "resizer/Design.h"

#include "resizer/Twips.h"

#include <QWidget>

namespace Design {

void place(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(Twips::toPixels(left), Twips::toPixels(top), Twips::toPixels(width), Twips::toPixels(height));
}

QFont verdana(double points, bool bold)
{
    QFont f(QStringLiteral("Verdana"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

} // namespace Design
