#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <functional>
#include <optional>

// A search box that knows its own background: none until it first gains the focus (the system's
// colour, which is never taken for idle), then the colour last painted.
class SearchBox : public QLineEdit {
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

    std::optional<QRgb> BackColor() const { return m_backColor; }
    void setBackColor(QRgb colour);

signals:
    void GotFocus();
    void LostFocus();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    std::optional<QRgb> m_backColor;
    bool m_awayWithWindow = false; // the focus left with the window, not for another control
};

// A multi-line box whose text is exactly what was put in: Qt's plain-text conversion would turn
// non-breaking spaces into blanks and so change a definition that is saved unedited. The text shown is
// brought up to date when the box is drawn where it can be seen: the window keeps it under the
// definition's view, and laying out every definition that passes through it would cost as much again as
// showing it.
class PlainTextBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit PlainTextBox(QWidget *parent = nullptr);
    QString Text() const { return m_text; }
    void setText(const QString &text);

protected:
    bool viewportEvent(QEvent *event) override;

private:
    // A visible sibling stacked above holds the whole box.
    bool covered() const;

    QString m_text;
    bool m_setting = false;
    bool m_shown = true; // the document holds m_text
};

// The rich-text view of the definition; Text() gives the document's characters with line breaks as
// "\n", position for position as the selection counts them.
class RichTextBox : public QTextEdit {
    Q_OBJECT

public:
    // Character ranges (start, length) of a text as Text() gives it.
    using Ranges = QList<QPair<qsizetype, qsizetype>>;

    explicit RichTextBox(QWidget *parent = nullptr);
    QString Text() const;
    void setText(const QString &text);
    // The text with the ranges that marksOf finds in it in the format `mark`: the view gets text and
    // marks in one new document and lays it out as far as it is seen, so a definition of many megabytes
    // costs time in proportion to its size, and showing it little more than showing its start. A paragraph
    // too long to lay out at once is shown broken at some of its spaces, and the many lines of a long
    // text joined into fewer paragraphs; Text() still gives the spaces and the line breaks.
    void setText(const QString &text, const std::function<Ranges(const QString &)> &marksOf,
                 const QTextCharFormat &mark);

protected:
    QMimeData *createMimeDataFromSelection() const override;

private:
    // The text of the document's characters from position `from` on, as Text() gives them.
    QString readBack(QString raw, int from) const;
    // The document holds line separators that stand for line breaks.
    bool m_linesJoined = false;
    // The document holds line breaks that stand for spaces.
    bool m_brokenForShow = false;
};

// A label that reacts to a click, for the update link. The Tab key reaches it (a click leaves the focus
// where it was) and Enter or Space then follows it.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr);

public slots:
    void click() { emit clicked(); }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

// The window's interior. A screen reader finds in it what a sighted user reads, in the order the eye
// reads it: rows from the top, left to right within a row. Hidden controls, and those left unread,
// are not there.
class ClientArea : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    // For a control that another covers for good, or a picture that only decorates.
    void leaveUnread(const QWidget *control) { m_unread.append(control); }
    QList<QWidget *> readingOrder() const;

private:
    QList<const QWidget *> m_unread;
};

// Tells the accessibility framework how the controls above present themselves; once, before any of them
// is asked for.
void installControlsAccessibility();
