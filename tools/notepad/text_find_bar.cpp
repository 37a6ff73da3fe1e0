#include "notepad/text_find_bar.h"

#include <QLabel>
#include <QLineEdit>

namespace ini {

TextFindBar::TextFindBar(QWidget* parent)
    : PromptBar(tr("Find:"), QStringLiteral("find"), parent), m_status(new QLabel(this)) {
    m_status->setObjectName(QStringLiteral("findStatus"));
    Append(m_status);
    connect(Field(), &QLineEdit::returnPressed, this, &TextFindBar::findRequested);
    connect(Field(), &QLineEdit::textEdited, m_status, &QLabel::clear);
}

void TextFindBar::Open() {
    m_status->clear();
    Field()->selectAll();
    ShowFocused();
}

QString TextFindBar::Text() const {
    return Field()->text();
}

void TextFindBar::ShowFound(bool found) {
    m_status->setText(found ? QString() : tr("Not found"));
    if (!found)
        show();
}

} // namespace ini
