#include "resizer/LineControl.h"

#include "resizer/Twips.h"

#include <QPainter>

LineControl::LineControl(QWidget *parent)
    : QWidget(parent)
{
    // The bounding box of a slanted line covers more than the line; clicks there belong to what lies below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    place();
}

void LineControl::setX1(float twips)
{
    m_X1 = twips;
    place();
}

void LineControl::setY1(float twips)
{
    m_Y1 = twips;
    place();
}

void LineControl::setX2(float twips)
{
    m_X2 = twips;
    place();
}

void LineControl::setY2(float twips)
{
    m_Y2 = twips;
    place();
}

void LineControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawLine(start() - pos(), end() - pos());
}

QPoint LineControl::start() const
{
    return { Twips::toPixels(m_X1), Twips::toPixels(m_Y1) };
}

QPoint LineControl::end() const
{
    return { Twips::toPixels(m_X2), Twips::toPixels(m_Y2) };
}

void LineControl::place()
{
    // A rectangle given by its corners includes both, so even a dot is one pixel wide.
    const QPoint a = start();
    const QPoint b = end();
    setGeometry(QRect(QPoint(qMin(a.x(), b.x()), qMin(a.y(), b.y())), QPoint(qMax(a.x(), b.x()), qMax(a.y(), b.y()))));
}
