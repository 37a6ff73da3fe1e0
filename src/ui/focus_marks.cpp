#include "ui/focus_marks.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QObject>
#include <QPalette>

namespace ini {

namespace {

// Swaps the view's highlight as the focus comes and goes. A palette of its own per view, so
// the application's palette, and with it every other widget, stays as it is.
class FocusMarks : public QObject {
public:
    explicit FocusMarks(QAbstractItemView& view) : QObject(&view), m_view(view) {
        const QPalette palette = view.palette();
        m_focused = palette.color(QPalette::Active, QPalette::Highlight);
        m_focusedText = palette.color(QPalette::Active, QPalette::HighlightedText);
        m_unfocused = palette.color(QPalette::Active, QPalette::Mid);
        m_unfocusedText = palette.color(QPalette::Active, QPalette::Text);
        Show(view.hasFocus());
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_view &&
            (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
            Show(event->type() == QEvent::FocusIn);
        return false;
    }

private:
    void Show(bool focused) {
        QPalette palette = m_view.palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Highlight, focused ? m_focused : m_unfocused);
            palette.setColor(group, QPalette::HighlightedText,
                             focused ? m_focusedText : m_unfocusedText);
        }
        m_view.setPalette(palette);
    }

    QAbstractItemView& m_view;
    QColor m_focused;
    QColor m_focusedText;
    QColor m_unfocused;
    QColor m_unfocusedText;
};

} // namespace

void MarkFocusBySelection(QAbstractItemView& view) {
    view.installEventFilter(new FocusMarks(view));
}

} // namespace ini
