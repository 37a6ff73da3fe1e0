#include "notepad/goto_line_bar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <limits>

namespace ini {

GoToLineBar::GoToLineBar(QWidget* parent)
    : QWidget(parent), m_range(new QLabel(this)), m_field(new QLineEdit(this)) {
    setObjectName(QStringLiteral("goToLineBar"));
    m_field->setObjectName(QStringLiteral("goToLineField"));
    m_field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_field));
    m_field->installEventFilter(this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(new QLabel(tr("Go to line:"), this));
    layout->addWidget(m_field, 1);
    layout->addWidget(m_range);

    connect(m_field, &QLineEdit::returnPressed, this, &GoToLineBar::Submit);
    hide();
}

void GoToLineBar::Open(qint64 lineCount) {
    m_range->setText(tr("(1 - %1)").arg(lineCount));
    m_field->clear();
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
}

bool GoToLineBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_field && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        emit dismissed();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void GoToLineBar::Submit() {
    const QString digits = m_field->text();
    if (digits.isEmpty()) {
        emit dismissed();
        return;
    }
    bool ok = false;
    const qint64 line = digits.toLongLong(&ok);
    emit lineRequested(ok ? line : std::numeric_limits<qint64>::max());
}

} // namespace ini
