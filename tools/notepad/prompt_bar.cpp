#include "notepad/prompt_bar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace ini {

PromptBar::PromptBar(const QString& label, const QString& name, QWidget* parent)
    : QWidget(parent), m_layout(new QHBoxLayout(this)), m_field(new QLineEdit(this)) {
    setObjectName(name + QStringLiteral("Bar"));
    m_field->setObjectName(name + QStringLiteral("Field"));
    m_field->installEventFilter(this);
    m_layout->setContentsMargins(6, 3, 6, 3);
    m_layout->addWidget(new QLabel(label, this));
    m_layout->addWidget(m_field, 1);
    hide();
}

void PromptBar::Append(QWidget* widget) {
    m_layout->addWidget(widget);
}

void PromptBar::ShowFocused() {
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
}

bool PromptBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_field && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        emit dismissed();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace ini
