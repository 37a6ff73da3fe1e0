#include "notepad/line_text_edit.h"

#include "notepad/block_lines.h"

#include <QMimeData>

namespace ini {

QMimeData* LineTextEdit::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    data->setText(SelectedLineText(textCursor()));
    return data;
}

void LineTextEdit::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly() || !source || !source->hasText())
        return;
    QTextCursor cursor = textCursor();
    InsertLineText(cursor, source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}

} // namespace ini
