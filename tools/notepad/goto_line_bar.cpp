#include "notepad/goto_line_bar.h"

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <limits>

namespace ini {

GoToLineBar::GoToLineBar(QWidget* parent)
    : PromptBar(tr("Go to line:"), QStringLiteral("goToLine"), parent), m_range(new QLabel(this)) {
    Field()->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Field()));
    Append(m_range);
    connect(Field(), &QLineEdit::returnPressed, this, &GoToLineBar::Submit);
}

void GoToLineBar::Open(qint64 lineCount) {
    m_range->setText(tr("(1 - %1)").arg(lineCount));
    Field()->clear();
    ShowFocused();
}

void GoToLineBar::Submit() {
    const QString digits = Field()->text();
    if (digits.isEmpty()) {
        emit dismissed();
        return;
    }
    bool ok = false;
    const qint64 line = digits.toLongLong(&ok);
    emit lineRequested(ok ? line : std::numeric_limits<qint64>::max());
}

} // namespace ini
