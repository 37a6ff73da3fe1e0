#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace ini {

// The go-to-line prompt: a bar inside the editor window rather than a dialog, so keys another
// program types right after Ctrl+G land in its field without waiting for a window to appear.
class GoToLineBar : public QWidget {
    Q_OBJECT
public:
    explicit GoToLineBar(QWidget* parent = nullptr);

    // Shows the bar with an empty field that has the keyboard focus when this returns.
    void Open(qint64 lineCount);

signals:
    // Enter with a number; the number may lie outside the document (the caller clamps it)
    // and saturates at the largest qint64 for longer digit runs.
    void lineRequested(qint64 line);
    // Escape, or Enter on an empty field.
    void dismissed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Submit();

    QLabel* m_range;
    QLineEdit* m_field;
};

} // namespace ini
