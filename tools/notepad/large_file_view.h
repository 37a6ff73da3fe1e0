#pragma once

#include "notepad/large_file_lines.h"
#include "notepad/text_search.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QString>

#include <optional>

class QPainter;

namespace ini {

// A read-only view of a large file that lays out only what is on screen: the visible lines,
// and of each only the visible columns, so neither a file of millions of lines nor a line of
// millions of characters costs more than a screenful. The caret is a whole line, highlighted.
class LargeFileView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LargeFileView(QWidget* parent = nullptr);

    // Shows these lines from the top, the caret on the first.
    void SetLines(LargeFileLines lines);
    // Tabs reach to the next multiple of this width, as in the editable text.
    void SetTabStopDistance(qreal pixels);
    // Drops the lines and the memory they hold.
    void Clear();

    qint64 LineCount() const noexcept;
    TextEncoding Encoding() const noexcept {
        return m_lines ? m_lines->Encoding() : TextEncoding::Utf8;
    }
    // 0-based.
    qint64 CaretLine() const noexcept { return m_caret; }
    // Moves the caret to the line (0-based, clamped) and shows it in the middle of the view.
    void GoToLine(qint64 line);
    // Line i (below LineCount()) as the file holds it, tabs unexpanded.
    QString LineText(qint64 line) const { return m_lines->Text(line); }
    // Moves the caret to the match's line and highlights the match, scrolled into view, until
    // the caret moves again.
    void ShowMatch(const FoundText& match);
    // The match ShowMatch highlights, if the caret has not moved off it since.
    const std::optional<FoundText>& Match() const noexcept { return m_match; }

signals:
    void caretLineChanged(qint64 line);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void MoveCaret(qint64 line);
    // Scrolls across so that shown columns [start, end) are in view, their start if not all fit,
    // and the line's start too if it fits with them.
    void ScrollAcrossTo(qsizetype start, qsizetype end);
    void PaintMatch(QPainter& painter, int top, const QString& shown, qsizetype firstColumn);
    int TabColumns() const;
    void UpdateScrollBars();
    // Widens the horizontal scroll range to a line of this many columns.
    void NoteWidth(qsizetype columns);
    int RowHeight() const;
    qreal CellWidth() const;
    int VisibleRows() const;
    int VisibleColumns() const;
    qint64 FirstVisibleLine() const;
    qint64 EndOfVisibleLines() const;
    // Fits the horizontal scroll range to the lines on screen, forgetting those off it.
    void WidenToVisibleLines();
    // Line i as shown: tabs expanded to their stops, so one character is one column.
    const QString& ShownText(qint64 line);

    std::optional<LargeFileLines> m_lines;
    qint64 m_caret = 0;
    qreal m_tabStopDistance = 80;
    int m_widest = 0;               // columns of the widest line shown so far
    QHash<qint64, QString> m_shown; // the lines on screen, kept while they stay there
    std::optional<FoundText> m_match;
    qsizetype m_matchStart = 0; // m_match's columns as shown, tabs expanded
    qsizetype m_matchEnd = 0;
};

} // namespace ini
