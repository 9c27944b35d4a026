#include "main_window/Controls.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
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

// The text that the document's characters stand for: each paragraph separator, and where lines were
// joined each line separator, a "\n" (a text that is joined has no line separator of its own).
QString asText(QString shown, bool joined)
{
    shown.replace(QChar::ParagraphSeparator, u'\n');
    if (joined)
        shown.replace(QChar::LineSeparator, u'\n');
    return shown;
}

// The characters of the document for a text: each line break one paragraph separator or, where `join`,
// most of them line separators, which break the line without ending the paragraph; and the text as Text()
// then gives it back, each line break "\n". Both are position for position the same.
std::pair<QString, QString> documentText(const QString &text, bool join)
{
    QString shown(text.size(), Qt::Uninitialized);
    QChar *out = shown.data();
    const QChar *data = text.constData();
    const qsizetype size = text.size();
    bool readsBackAsIs = true; // every line break is a "\n"
    qsizetype n = 0, lineStart = 0, paragraphStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        // Nearly every character lies between the codes of the line breaks: a quick test passes it over.
        if (data[i].unicode() > u'\r' && data[i].unicode() < QChar::ParagraphSeparator)
            continue;
        const qsizetype breakLength = lineBreakAt(data, i, size);
        if (breakLength == 0)
            continue;
        out = std::copy(data + lineStart, data + i, out);
        n += i - lineStart;
        if (join && n - paragraphStart < ShownPiece / 2) {
            *out++ = QChar::LineSeparator;
        } else {
            *out++ = QChar::ParagraphSeparator;
            paragraphStart = n + 1;
        }
        ++n;
        readsBackAsIs = readsBackAsIs && data[i] == u'\n';
        i += breakLength - 1;
        lineStart = i + 1;
    }
    std::copy(data + lineStart, data + size, out);
    shown.truncate(n + size - lineStart);
    return {shown, readsBackAsIs ? text : asText(shown, join)};
}

// The spaces of the paragraphs too long to lay out at once where the view breaks them.
QList<qsizetype> breaksForShow(const QString &shown)
{
    QList<qsizetype> breaks;
    for (qsizetype start = 0; start <= shown.size();) {
        qsizetype end = shown.indexOf(QChar::ParagraphSeparator, start);
        if (end < 0)
            end = shown.size();
        if (end - start > ShownPiece) {
            for (qsizetype space = shown.indexOf(u' ', start + ShownPiece); space >= 0 && space + 1 < end;
                 space = shown.indexOf(u' ', space + 1 + ShownPiece))
                breaks.append(space);
        }
        start = end + 1;
    }
    return breaks;
}

// Overlapping and touching ranges as one, in order, within a text of `size` characters.
RichTextBox::Ranges merged(RichTextBox::Ranges ranges, qsizetype size)
{
    // The marks of a search for one word come in order already.
    if (!std::is_sorted(ranges.begin(), ranges.end()))
        std::sort(ranges.begin(), ranges.end());
    RichTextBox::Ranges out;
    out.reserve(ranges.size());
    for (qsizetype i = 0; i < ranges.size();) {
        const qsizetype start = ranges[i].first;
        qsizetype end = start + ranges[i].second;
        for (++i; i < ranges.size() && ranges[i].first <= end; ++i)
            end = std::max(end, ranges[i].first + ranges[i].second);
        end = std::min(end, size);
        if (start < end)
            out.append({start, end - start});
    }
    return out;
}

// Appends the document's characters in runs of one format each, in order: Qt splits its pieces of text
// cheaply at the end, where a format put on afterwards costs it a search and a split at each end of every
// mark. A space where the view breaks a paragraph becomes a line break that says it stands for the space,
// one character for one, so that positions stay those of the text.
void appendShown(QTextCursor &cursor, const QString &shown, const RichTextBox::Ranges &marks,
                 const QList<qsizetype> &breaks, const QTextCharFormat &mark)
{
    const QTextCharFormat plain;
    const QTextBlockFormat paragraph = cursor.blockFormat();
    qsizetype nextBreak = 0;
    const auto append = [&](qsizetype from, qsizetype to, const QTextCharFormat &format) {
        for (; nextBreak < breaks.size() && breaks[nextBreak] < to; ++nextBreak) {
            const qsizetype space = breaks[nextBreak];
            if (space > from)
                cursor.insertText(QString::fromRawData(shown.constData() + from, space - from), format);
            QTextCharFormat standsForSpace = format;
            standsForSpace.setProperty(StandsForSpace, true);
            cursor.insertBlock(paragraph, standsForSpace);
            from = space + 1;
        }
        if (to > from)
            cursor.insertText(QString::fromRawData(shown.constData() + from, to - from), format);
    };
    qsizetype at = 0;
    for (const auto &[start, length] : marks) {
        append(at, start, plain);
        append(start, start + length, mark);
        at = start + length;
    }
    append(at, shown.size(), plain);
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
    return readBack(document()->toRawText(), 0);
}

QString RichTextBox::readBack(QString raw, int from) const
{
    if (m_brokenForShow) {
        const int to = from + int(raw.size());
        for (QTextBlock block = document()->findBlock(from).next(); block.isValid() && block.position() <= to;
             block = block.next()) {
            if (block.charFormat().hasProperty(StandsForSpace))
                raw[block.position() - 1 - from] = u' ';
        }
    }
    return asText(std::move(raw), m_linesJoined);
}

QMimeData *RichTextBox::createMimeDataFromSelection() const
{
    if (!m_brokenForShow && !m_linesJoined)
        return QTextEdit::createMimeDataFromSelection();
    // What the view broke or joined for showing is not the text's: the copy gets the text alone.
    const QTextCursor cursor = textCursor();
    auto *data = new QMimeData;
    data->setText(readBack(cursor.selectedText(), cursor.selectionStart()));
    return data;
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
    const auto [shown, readBack] = documentText(text, m_linesJoined);
    const Ranges marks = merged(marksOf(readBack), readBack.size());
    const QList<qsizetype> breaks = breaksForShow(shown);
    m_brokenForShow = !breaks.isEmpty();
    QTextCursor cursor(next);
    cursor.beginEditBlock();
    appendShown(cursor, shown, marks, breaks, mark);
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
