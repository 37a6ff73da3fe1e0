#include "notepad/large_file_view.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cmath>

namespace ini {

namespace {

int ClampToInt(qint64 value) {
    return static_cast<int>(std::clamp<qint64>(value, 0, INT_MAX));
}

QString ExpandTabs(const QString& text, int tabColumns) {
    if (!text.contains(QLatin1Char('\t')))
        return text;
    QString shown;
    shown.reserve(text.size() + 8 * text.count(QLatin1Char('\t')));
    for (const QChar c : text) {
        if (c != QLatin1Char('\t')) {
            shown += c;
            continue;
        }
        shown += QString(tabColumns - static_cast<int>(shown.size() % tabColumns), u' ');
    }
    return shown;
}

} // namespace

LargeFileView::LargeFileView(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("largeFile"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void LargeFileView::SetLines(LargeFileLines lines) {
    m_lines = std::move(lines);
    m_caret = 0;
    m_widest = 0;
    m_shown.clear();
    m_match.reset();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
    emit caretLineChanged(m_caret);
}

void LargeFileView::SetTabStopDistance(qreal pixels) {
    m_tabStopDistance = pixels;
    m_shown.clear();
    viewport()->update();
}

void LargeFileView::Clear() {
    m_lines.reset();
    m_shown.clear();
    m_match.reset();
}

qint64 LargeFileView::LineCount() const noexcept {
    return m_lines ? m_lines->Count() : 0;
}

void LargeFileView::GoToLine(qint64 line) {
    MoveCaret(line);
    verticalScrollBar()->setValue(ClampToInt(m_caret - VisibleRows() / 2));
    horizontalScrollBar()->setValue(0);
}

void LargeFileView::ShowMatch(const FoundText& match) {
    MoveCaret(match.line);
    if (!m_lines || m_caret != match.line)
        return;
    const QString text = LineText(match.line);
    m_match = match;
    m_matchStart = ExpandTabs(text.left(match.column), TabColumns()).size();
    m_matchEnd = ExpandTabs(text.left(match.column + match.length), TabColumns()).size();
    WidenToVisibleLines();
    ScrollAcrossTo(m_matchStart, m_matchEnd);
}

void LargeFileView::ScrollAcrossTo(qsizetype start, qsizetype end) {
    QScrollBar* across = horizontalScrollBar();
    const qsizetype columns = VisibleColumns();
    if (end <= columns) // the line's start stays in view when it can
        across->setValue(0);
    else if (start < across->value() || end - start > columns)
        across->setValue(ClampToInt(start));
    else if (end > across->value() + columns)
        across->setValue(ClampToInt(end - columns));
}

void LargeFileView::MoveCaret(qint64 line) {
    m_match.reset();
    const qint64 last = std::max<qint64>(0, LineCount() - 1);
    m_caret = std::clamp<qint64>(line, 0, last);
    // Keep the caret in view, scrolling as little as needed.
    const qint64 first = FirstVisibleLine();
    if (m_caret < first)
        verticalScrollBar()->setValue(ClampToInt(m_caret));
    else if (m_caret >= first + VisibleRows())
        verticalScrollBar()->setValue(ClampToInt(m_caret - VisibleRows() + 1));
    viewport()->update();
    emit caretLineChanged(m_caret);
}

int LargeFileView::RowHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

// Unrounded: a column a pixel short of its glyph adds up to whole characters off a wide view.
qreal LargeFileView::CellWidth() const {
    return std::max(1.0, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('M')));
}

int LargeFileView::VisibleRows() const {
    return std::max(1, viewport()->height() / RowHeight());
}

int LargeFileView::VisibleColumns() const {
    return std::max(1, static_cast<int>(viewport()->width() / CellWidth()));
}

qint64 LargeFileView::FirstVisibleLine() const {
    return verticalScrollBar()->value();
}

void LargeFileView::UpdateScrollBars() {
    verticalScrollBar()->setRange(0, ClampToInt(LineCount() - VisibleRows()));
    verticalScrollBar()->setPageStep(VisibleRows());
    horizontalScrollBar()->setRange(0, std::max(0, m_widest - VisibleColumns() + 1));
    horizontalScrollBar()->setPageStep(VisibleColumns());
}

const QString& LargeFileView::ShownText(qint64 line) {
    const auto found = m_shown.constFind(line);
    if (found != m_shown.constEnd())
        return *found;
    return *m_shown.insert(line, ExpandTabs(m_lines->Text(line), TabColumns()));
}

int LargeFileView::TabColumns() const {
    return std::max(1, static_cast<int>(std::lround(m_tabStopDistance / CellWidth())));
}

qint64 LargeFileView::EndOfVisibleLines() const {
    return std::min(LineCount(), FirstVisibleLine() + VisibleRows() + 1);
}

void LargeFileView::WidenToVisibleLines() {
    const qint64 first = FirstVisibleLine();
    const qint64 end = EndOfVisibleLines();
    // Lines that scrolled away are dropped; a long one is costly to keep.
    for (auto it = m_shown.begin(); it != m_shown.end();)
        it = it.key() < first || it.key() >= end ? m_shown.erase(it) : std::next(it);
    for (qint64 line = first; line < end; ++line)
        NoteWidth(ShownText(line).size());
}

void LargeFileView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    if (!m_lines)
        return;
    WidenToVisibleLines();
    const int rowHeight = RowHeight();
    const int ascent = fontMetrics().ascent();
    const qint64 first = FirstVisibleLine();
    const qsizetype firstColumn = horizontalScrollBar()->value();
    const qsizetype columns = VisibleColumns() + 1;
    for (qint64 line = first; line < EndOfVisibleLines(); ++line) {
        const int top = static_cast<int>(line - first) * rowHeight;
        if (line == m_caret) {
            painter.fillRect(QRect(0, top, viewport()->width(), rowHeight),
                             palette().color(QPalette::Highlight).lighter(185));
        }
        const QString& text = ShownText(line);
        if (firstColumn < text.size())
            painter.drawText(QPoint(0, top + ascent), text.mid(firstColumn, columns));
        if (m_match && line == m_match->line)
            PaintMatch(painter, top, text, firstColumn);
    }
}

// Drawn over the line's text like a selection, clipped to the columns in view.
void LargeFileView::PaintMatch(QPainter& painter, int top, const QString& shown,
                               qsizetype firstColumn) {
    const qsizetype start = std::max(m_matchStart, firstColumn);
    const qsizetype end = std::min(m_matchEnd, firstColumn + VisibleColumns() + 1);
    if (start >= end)
        return;
    const QFontMetrics metrics = fontMetrics();
    const int left = metrics.horizontalAdvance(shown.mid(firstColumn, start - firstColumn));
    const QString matched = shown.mid(start, end - start);
    painter.fillRect(QRect(left, top, metrics.horizontalAdvance(matched), RowHeight()),
                     palette().color(QPalette::Highlight));
    const QPen pen = painter.pen();
    painter.setPen(palette().color(QPalette::HighlightedText));
    painter.drawText(QPoint(left, top + metrics.ascent()), matched);
    painter.setPen(pen);
}

void LargeFileView::NoteWidth(qsizetype columns) {
    if (columns <= m_widest)
        return;
    m_widest = ClampToInt(columns);
    UpdateScrollBars();
}

void LargeFileView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void LargeFileView::scrollContentsBy(int, int) {
    viewport()->update();
}

void LargeFileView::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    QScrollBar* across = horizontalScrollBar();
    switch (event->key()) {
    case Qt::Key_Up:
        MoveCaret(m_caret - 1);
        break;
    case Qt::Key_Down:
        MoveCaret(m_caret + 1);
        break;
    case Qt::Key_PageUp:
        MoveCaret(m_caret - VisibleRows());
        break;
    case Qt::Key_PageDown:
        MoveCaret(m_caret + VisibleRows());
        break;
    case Qt::Key_Home:
        if (ctrl)
            MoveCaret(0);
        across->setValue(0);
        break;
    case Qt::Key_End:
        if (ctrl) {
            MoveCaret(LineCount() - 1);
        } else if (LineCount() > 0) {
            WidenToVisibleLines();
            across->setValue(ClampToInt(ShownText(m_caret).size() - VisibleColumns() + 1));
        }
        break;
    case Qt::Key_Left:
        across->setValue(across->value() - 1);
        break;
    case Qt::Key_Right:
        WidenToVisibleLines();
        across->setValue(across->value() + 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void LargeFileView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        MoveCaret(FirstVisibleLine() + event->position().toPoint().y() / RowHeight());
    QAbstractScrollArea::mousePressEvent(event);
}

} // namespace ini
