#include "ui/tree_note.h"

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

void TreeNote::ShowAt(const QPoint& global, const QString& text) {
    // One line while it fits: a wrapped label is made narrow.
    setWordWrap(fontMetrics().horizontalAdvance(text) > maximumWidth());
    setText(text);
    adjustSize();
    move(global);
    show();
    raise();
    // Time to read it: a few seconds, more for a longer note.
    m_hide.start(std::clamp(3000 + 60 * static_cast<int>(text.size()), 4000, 15000));
}

void TreeNote::mousePressEvent(QMouseEvent* event) {
    hide();
    QLabel::mousePressEvent(event);
}

} // namespace ini
