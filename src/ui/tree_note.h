#pragma once

#include <QLabel>
#include <QTimer>

namespace ini {

// A short note at a place of the window, looking like a tooltip, that stays until it can have
// been read: a tooltip goes at the first move of the mouse over another widget or the first
// change of focus, often before a note given at a key press (the end of a list, no place to go
// back to) is seen. It goes when its time is up, at the next key pressed or click, when its
// window loses the focus (another window comes up over it), or when another replaces it.
class TreeNote final : public QLabel {
    Q_OBJECT

public:
    explicit TreeNote(QWidget* owner);
    // Shows `text` under `row` (a rectangle of the screen), or over it where under it the note
    // would reach below `lowest` (a y of the screen): past the tree's foot it would cover the
    // buttons there and take the click meant for one of them.
    void ShowAt(const QRect& row, int lowest, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_hide;
};

} // namespace ini
