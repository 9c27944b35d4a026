#include "main_window/Controls.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <utility>

namespace {

// Focus that moves because a message box or another program's window came up is not the user
// leaving the box: treating it so would repaint the box and select its text behind the user's back.
bool isWindowActivation(const QFocusEvent *event)
{
    return event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason;
}

} // namespace

void SearchBox::setBackColor(QRgb colour)
{
    m_backColor = colour;
    QPalette p = palette();
    p.setColor(QPalette::Base, QColor::fromRgb(colour));
    setPalette(p);
}

void SearchBox::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    // Coming back to the box it left for a moment is no new entry; the window's first focus is one.
    const bool returning = isWindowActivation(event) && m_awayWithWindow;
    m_awayWithWindow = false;
    if (!returning)
        emit GotFocus();
}

void SearchBox::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (isWindowActivation(event))
        m_awayWithWindow = true;
    else
        emit LostFocus();
}

PlainTextBox::PlainTextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_setting)
            m_text = toPlainText();
    });
}

void PlainTextBox::setText(const QString &text)
{
    m_text = text;
    m_shown = false;
    viewport()->update();
}

bool PlainTextBox::covered() const
{
    const QWidget *parent = parentWidget();
    if (!parent)
        return false;
    const QObjectList &siblings = parent->children();
    for (qsizetype i = siblings.indexOf(const_cast<PlainTextBox *>(this)) + 1; i < siblings.size(); ++i) {
        const auto *above = qobject_cast<const QWidget *>(siblings[i]);
        if (above && above->isVisible() && above->geometry().contains(geometry()))
            return true;
    }
    return false;
}

bool PlainTextBox::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Paint && !m_shown && !covered()) {
        m_shown = true;
        m_setting = true;
        setPlainText(m_text);
        m_setting = false;
    }
    return QPlainTextEdit::viewportEvent(event);
}

namespace {

QString shownText(const QTextDocument *document)
{
    QString raw = document->toRawText();
    raw.replace(QChar::ParagraphSeparator, u'\n');
    return raw;
}

// Qt lays a paragraph out whole, however little of it is seen: seconds for a few megabytes. A longer one
// is shown in pieces of at least this many characters, each ending where a space was.
constexpr qsizetype ShownPiece = 4000;
// On the character format of a line break that stands for a space. A block's character format is the
// one of the break before it, and a break the user types takes the format of the text around the caret.
constexpr int StandsForSpace = QTextFormat::UserProperty + 1;

// Each line a paragraph of its own costs the document more than the text itself; from this length on, the
// lines are shown joined into paragraphs of half ShownPiece characters and a line, which then need no
// breaking at a space unless a line is long.
constexpr qsizetype JoinLinesFrom = 200000;

// A line break as the document reads one from a text: CR LF, LF, CR, a paragraph separator or a frame's
// mark; 0 where there is none, otherwise how many characters it takes.
qsizetype lineBreakAt(const QChar *text, qsizetype i, qsizetype size)
{
    switch (text[i].unicode()) {
    case u'\r':
        return i + 1 < size && text[i + 1] == u'\n' ? 2 : 1;
    case u'\n':
    case QChar::ParagraphSeparator:
    case 0xfdd0:
    case 0xfdd1:
        return 1;
    default:
        return 0;
    }
}

// The text for the document, with most of its line breaks as line separators, which break the line
// without ending the paragraph; and the text as Text() then gives it back.
std::pair<QString, QString> joinLines(const QString &text)
{
    QString shown, readBack;
    shown.reserve(text.size());
    readBack.reserve(text.size());
    const QChar *data = text.constData();
    qsizetype lineStart = 0, paragraphStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = lineBreakAt(data, i, text.size());
        if (n == 0)
            continue;
        shown.append(data + lineStart, i - lineStart);
        readBack.append(data + lineStart, i - lineStart);
        if (shown.size() - paragraphStart < ShownPiece / 2) {
            shown += QChar::LineSeparator;
        } else {
            shown += QChar::ParagraphSeparator;
            paragraphStart = shown.size();
        }
        readBack += u'\n';
        i += n - 1;
        lineStart = i + 1;
    }
    shown.append(data + lineStart, text.size() - lineStart);
    readBack.append(data + lineStart, text.size() - lineStart);
    return {shown, readBack};
}

// Replaces spaces in the document's long paragraphs with line breaks that say they stand for them, one
// character for one, so that positions stay those of the text; true when there was any.
bool breakLongParagraphs(QTextDocument *document)
{
    bool broken = false;
    QTextCursor cursor(document);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.length() <= ShownPiece + 1)
            continue;
        const QString text = block.text();
        const int start = block.position();
        const QTextBlockFormat paragraph = block.blockFormat();
        for (qsizetype space = text.indexOf(u' ', ShownPiece); space >= 0 && space + 1 < text.size();
             space = text.indexOf(u' ', space + 1 + ShownPiece)) {
            cursor.setPosition(start + int(space));
            cursor.setPosition(start + int(space) + 1, QTextCursor::KeepAnchor);
            QTextCharFormat format = cursor.charFormat();
            format.setProperty(StandsForSpace, true);
            cursor.insertBlock(paragraph, format);
            broken = true;
        }
        // On from the last piece: the pieces are short enough.
        block = document->findBlock(start + int(text.size()));
    }
    return broken;
}

} // namespace

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent)
{
    // The caret in a piece the user emptied takes the format of the break before it; a break typed there
    // must be a real one.
    connect(this, &QTextEdit::currentCharFormatChanged, this, [this](const QTextCharFormat &format) {
        if (format.hasProperty(StandsForSpace) && !textCursor().hasSelection()) {
            QTextCharFormat typed = format;
            typed.clearProperty(StandsForSpace);
            setCurrentCharFormat(typed);
        }
    });
}

QString RichTextBox::Text() const
{
    QString text = shownText(document());
    if (m_linesJoined)
        text.replace(QChar::LineSeparator, u'\n');
    if (m_brokenForShow) {
        for (QTextBlock block = document()->begin().next(); block.isValid(); block = block.next()) {
            if (block.charFormat().hasProperty(StandsForSpace))
                text[block.position() - 1] = u' ';
        }
    }
    return text;
}

void RichTextBox::setText(const QString &text, const std::function<Ranges(const QString &)> &marksOf,
                          const QTextCharFormat &mark)
{
    setCurrentCharFormat(QTextCharFormat());
    QTextDocument *previous = document();
    // Not laid out while it has no view: the marks cost no layout of their own.
    auto *next = new QTextDocument(this);
    next->setDefaultFont(previous->defaultFont());
    next->setDefaultTextOption(previous->defaultTextOption());
    next->setDocumentMargin(previous->documentMargin());
    next->setUndoRedoEnabled(false);
    // A line separator of the text's own must come back as it was, not as a line break.
    m_linesJoined = text.size() >= JoinLinesFrom && !text.contains(QChar::LineSeparator);
    Ranges marks;
    if (m_linesJoined) {
        const auto [shown, readBack] = joinLines(text);
        next->setPlainText(shown);
        marks = marksOf(readBack);
    } else {
        next->setPlainText(text);
        marks = marksOf(shownText(next));
    }
    std::sort(marks.begin(), marks.end());
    QTextCursor cursor(next);
    cursor.beginEditBlock();
    // Overlapping and touching marks are one range: one change of the document each.
    for (qsizetype i = 0; i < marks.size();) {
        const qsizetype start = marks[i].first;
        qsizetype end = start + marks[i].second;
        for (++i; i < marks.size() && marks[i].first <= end; ++i)
            end = std::max(end, marks[i].first + marks[i].second);
        cursor.setPosition(int(start));
        cursor.setPosition(int(end), QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(mark);
    }
    m_brokenForShow = breakLongParagraphs(next);
    cursor.endEditBlock();
    next->setUndoRedoEnabled(true);

    // A text longer than the view can ever show gets its scroll bar before it is laid out, not after,
    // which would lay the whole of it out again for the narrower width.
    const bool tall = text.size() > 4000 && verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded;
    if (tall)
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The view lays the document's start out when it takes the document, again for its text options and
    // again for its width; a page of no size holds the first two off, where one of unknown width would lay
    // each paragraph out as a single line, slowly for a long one.
    next->setPageSize(QSizeF(0, 0));
    const bool ours = previous->parent() == this;
    setDocument(next);
    if (ours)
        delete previous;
    if (tall)
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void RichTextBox::setText(const QString &text)
{
    // New text starts plain, whatever format the caret stood in.
    setCurrentCharFormat(QTextCharFormat());
    m_linesJoined = false;
    m_brokenForShow = false;
    setPlainText(text);
}

LinkLabel::LinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setFocusPolicy(Qt::TabFocus);
}

void LinkLabel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        click();
        break;
    default:
        QLabel::keyPressEvent(event);
    }
}

void LinkLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    // A label draws no focus of its own, and a keyboard user must see where Enter would go.
    if (hasFocus()) {
        QStylePainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

QList<QWidget *> ClientArea::readingOrder() const
{
    QList<QWidget *> read;
    for (QObject *child : children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (w && !w->isWindow() && !w->isHidden() && !m_unread.contains(w))
            read.append(w);
    }
    std::stable_sort(read.begin(), read.end(), [](const QWidget *a, const QWidget *b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    return read;
}
