#pragma once

#include "resizer/CtlRecord.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QSize;
class QWidget;

// Keeps the controls of one window in proportion to the window's interior. It records every control's
// position, size and font size when the window emits its Load() signal, and on every resize of the
// interior sets them again from those records, all multiplied by the mean of the width and height ratios.
//
// The interior is a main window's central widget, or else the window itself; its controls are its direct
// children. A widget has a font unless it is a line or a label showing only a picture; a font sized in
// pixels records no size. Non-widget children (a timer) are recorded but never touched.
class clsResizer : public QObject {
    Q_OBJECT

public:
    explicit clsResizer(QObject *parent = nullptr);

    bool JustShiftControls() const { return m_JustShiftControls; }
    void setJustShiftControls(bool justShift) { m_JustShiftControls = justShift; }
    bool SameFont() const { return m_SameFont; }
    void setSameFont(bool sameFont) { m_SameFont = sameFont; }
    QString FontName() const { return m_FontName; }
    void setFontName(const QString &fontName) { m_FontName = fontName; }
    QWidget *OnForm() const { return m_ParentFrm; }
    // Attaches to the window (leaving the previous one) and takes the window's font face as FontName.
    void setOnForm(QWidget *form);
    // Does nothing: the design layout comes back only by resizing the window to its design size.
    void ResetControls() { }

    float DesignWidth() const { return m_DesignWidth; }
    float DesignHeight() const { return m_DesignHeight; }
    qsizetype ControlCount() const { return m_Controls.size(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void capture();

private:
    QWidget *clientArea() const;
    void watch(QWidget *area);
    void rescale(const QSize &interior);

    QPointer<QWidget> m_ParentFrm;
    QPointer<QWidget> m_Watched;
    QMetaObject::Connection m_Load;
    QList<CtlRecord> m_Controls;
    float m_DesignWidth = 0;
    float m_DesignHeight = 0;
    bool m_SameFont = false;
    QString m_FontName;
    bool m_JustShiftControls = false;
};
