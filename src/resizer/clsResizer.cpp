#include "resizer/clsResizer.h"

#include "resizer/LineControl.h"
#include "resizer/Twips.h"

#include <QLabel>
#include <QMainWindow>
#include <QResizeEvent>

namespace {

QWidget *withFont(QObject *control)
{
    auto *widget = qobject_cast<QWidget *>(control);
    if (!widget || qobject_cast<LineControl *>(widget))
        return nullptr;
    // A picture with nothing written on it has a font object, but no font that shows.
    const auto *label = qobject_cast<QLabel *>(widget);
    if (label && label->text().isEmpty() && !label->pixmap().isNull())
        return nullptr;
    return widget;
}

} // namespace

clsResizer::clsResizer(QObject *parent)
    : QObject(parent)
{
}

void clsResizer::setOnForm(QWidget *form)
{
    disconnect(m_Load);
    m_ParentFrm = form;
    watch(clientArea());
    if (!form)
        return;
    // A window without a Load() signal is never captured, so it is never rescaled either.
    if (form->metaObject()->indexOfSignal("Load()") >= 0)
        m_Load = connect(form, SIGNAL(Load()), this, SLOT(capture()));
    m_FontName = form->font().family();
}

bool clsResizer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) // only the client area is watched
        rescale(static_cast<QResizeEvent *>(event)->size());
    return QObject::eventFilter(watched, event);
}

void clsResizer::capture()
{
    QWidget *area = clientArea();
    // A main window may get its central widget after the resizer was attached.
    watch(area);
    m_Controls.clear();
    m_DesignWidth = Twips::fromPixels(area->width());
    m_DesignHeight = Twips::fromPixels(area->height());
    for (QObject *control : area->children()) {
        CtlRecord record;
        record.CtlRef = control;
        if (const auto *line = qobject_cast<LineControl *>(control)) {
            record.Left = line->X1();
            record.Top = line->Y1();
            record.Width = line->X2();
            record.Height = line->Y2();
        } else if (const auto *widget = qobject_cast<QWidget *>(control)) {
            record.Left = Twips::fromPixels(widget->x());
            record.Top = Twips::fromPixels(widget->y());
            record.Width = Twips::fromPixels(widget->width());
            record.Height = Twips::fromPixels(widget->height());
        }
        if (const QWidget *widget = withFont(control); widget && widget->font().pointSizeF() > 0)
            record.FontSize = widget->font().pointSizeF();
        m_Controls.append(record);
    }
}

QWidget *clsResizer::clientArea() const
{
    // The menu bar takes part of a main window's height; the controls live below it.
    if (auto *main = qobject_cast<QMainWindow *>(m_ParentFrm.data()); main && main->centralWidget())
        return main->centralWidget();
    return m_ParentFrm;
}

void clsResizer::watch(QWidget *area)
{
    if (m_Watched)
        m_Watched->removeEventFilter(this);
    m_Watched = area;
    if (area)
        area->installEventFilter(this);
}

void clsResizer::rescale(const QSize &interior)
{
    // Without a load seen there is no design size to divide by.
    if (m_DesignWidth == 0 || m_DesignHeight == 0)
        return;
    const double sx = double(Twips::fromPixels(interior.width())) / double(m_DesignWidth);
    const double sy = double(Twips::fromPixels(interior.height())) / double(m_DesignHeight);
    const double f = (sx + sy) / 2;

    for (const CtlRecord &record : std::as_const(m_Controls)) {
        if (auto *line = qobject_cast<LineControl *>(record.CtlRef.data())) {
            if (record.Left)
                line->setX1(float(*record.Left * f));
            if (record.Top)
                line->setY1(float(*record.Top * f));
            if (record.Width)
                line->setX2(float(*record.Width * f));
            if (record.Height)
                line->setY2(float(*record.Height * f));
            continue;
        }
        auto *widget = qobject_cast<QWidget *>(record.CtlRef.data());
        if (!widget)
            continue;
        if (record.Left)
            widget->move(Twips::toPixels(*record.Left * f), widget->y());
        if (record.Top)
            widget->move(widget->x(), Twips::toPixels(*record.Top * f));
        if (m_JustShiftControls)
            continue;
        if (record.Width)
            widget->resize(Twips::toPixels(*record.Width * f), widget->height());
        if (record.Height)
            widget->resize(widget->width(), Twips::toPixels(*record.Height * f));
        if (!withFont(widget))
            continue;
        if (m_SameFont && !m_FontName.isEmpty()) {
            QFont font = widget->font();
            font.setFamily(m_FontName);
            widget->setFont(font);
        }
        // Qt refuses a size that is not positive, as at a zero interior; the old size stays.
        if (record.FontSize && *record.FontSize * f > 0) {
            QFont font = widget->font();
            font.setPointSizeF(*record.FontSize * f);
            widget->setFont(font);
        }
    }
}
