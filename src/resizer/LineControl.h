#pragma once

#include <QWidget>

// A straight line between two end points given in twips relative to the parent. Qt has no such
// control; the widget keeps itself just large enough to hold the line.
class LineControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(float X1 READ X1 WRITE setX1)
    Q_PROPERTY(float Y1 READ Y1 WRITE setY1)
    Q_PROPERTY(float X2 READ X2 WRITE setX2)
    Q_PROPERTY(float Y2 READ Y2 WRITE setY2)

public:
    explicit LineControl(QWidget *parent = nullptr);

    float X1() const { return m_X1; }
    float Y1() const { return m_Y1; }
    float X2() const { return m_X2; }
    float Y2() const { return m_Y2; }
    void setX1(float twips);
    void setY1(float twips);
    void setX2(float twips);
    void setY2(float twips);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPoint start() const;
    QPoint end() const;
    void place();

    float m_X1 = 0;
    float m_Y1 = 0;
    float m_X2 = 0;
    float m_Y2 = 0;
};
