#pragma once

#include "notepad/prompt_bar.h"

class QLabel;

namespace ini {

// The go-to-line prompt. The viewer types Ctrl+G, the number and Enter in one go, which is why
// it is a bar and not a dialog. Escape, or Enter on an empty field, dismisses it.
class GoToLineBar : public PromptBar {
    Q_OBJECT
public:
    explicit GoToLineBar(QWidget* parent = nullptr);

    // Shows the bar with an empty field that has the keyboard focus when this returns.
    void Open(qint64 lineCount);

signals:
    // Enter with a number; the number may lie outside the document (the caller clamps it)
    // and saturates at the largest qint64 for longer digit runs.
    void lineRequested(qint64 line);

private:
    void Submit();

    QLabel* m_range;
};

} // namespace ini
