#pragma once

#include <QDialog>
#include <QPointF>
#include <QSizeF>

class QLabel;

// The borderless splash window: the product's name and a credit line over the banner. It never closes
// itself and ignores the user; whoever shows it closes it with unload().
class Form2 : public QDialog {
    Q_OBJECT

public:
    explicit Form2(QWidget *parent = nullptr);
    ~Form2() override;

    // Top-left corner, in twips, that puts a window of the given size in the middle of the screen.
    static QPointF centredPosition(const QSizeF &screenTwips, const QSizeF &windowTwips);

    // Loaded with its first display, and so for good: whoever shows it closes it only once it has loaded.
    bool isLoaded() const { return m_loaded; }

    // Ends the window's display, also a modal one.
    void unload();

    // A line under the name for work that makes the user wait; the label exists only once it is used.
    void showProgress(const QString &text);

    // The controls, from the bottom of the stack to the top.
    QLabel *Image1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label3 = nullptr;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load();

    bool m_loaded = false;
};
