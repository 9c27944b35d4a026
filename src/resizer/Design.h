#pragma once

#include <QFont>

class QWidget;

// The windows are drawn as they were designed: in twips, in Verdana.
namespace Design {

void place(QWidget *w, int left, int top, int width, int height);
QFont verdana(double points, bool bold = false);

} // namespace Design
