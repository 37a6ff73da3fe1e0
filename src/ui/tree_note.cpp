#include "ui/tree_note.h"

#include <QApplication>
#include <QEvent>

#include <algorithm>

namespace ini {

TreeNote::TreeNote(QWidget* owner) : QLabel(owner, Qt::ToolTip | Qt::BypassGraphicsProxyWidget) {
    setObjectName(QStringLiteral("Tree_Note"));
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(true);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setMargin(4);
    setMaximumWidth(600);
    m_hide.setSingleShot(true);
    connect(&m_hide, &QTimer::timeout, this, &QWidget::hide);
}

void TreeNote::ShowAt(const QRect& row, int lowest, const QString& text) {
    // One line while it fits: a wrapped label is made narrow.
    setWordWrap(fontMetrics().horizontalAdvance(text) > maximumWidth());
    setText(text);
    adjustSize();
    const bool roomBelow = row.bottom() + height() <= lowest;
    move(row.left(), roomBelow ? row.bottom() : row.top() - height());
    show();
    raise();
    qApp->installEventFilter(this);
    // Time to read it: a few seconds, more for a longer note.
    m_hide.start(std::clamp(3000 + 60 * static_cast<int>(text.size()), 4000, 15000));
}

bool TreeNote::eventFilter(QObject* watched, QEvent* event) {
    const bool ownerLeft = event->type() == QEvent::WindowDeactivate && watched == parentWidget();
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress || ownerLeft)
        hide();
    return false;
}

void TreeNote::hideEvent(QHideEvent* event) {
    qApp->removeEventFilter(this);
    m_hide.stop();
    QLabel::hideEvent(event);
}

} // namespace ini
