#include "notepad/line_text_edit.h"

#include "notepad/block_lines.h"
#include "notepad/editor_window.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

namespace ini {

QMimeData* LineTextEdit::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    data->setText(SelectedLineText(textCursor()));
    return data;
}

namespace {

// How many lines `text` adds where InsertLineText puts it in: a CR, an LF or a CR LF pair each
// start one.
qsizetype LineBreaksIn(QStringView text) {
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        breaks += text[i] == u'\n' ||
                  (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'));
    return breaks;
}

} // namespace

void LineTextEdit::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly() || !source || !source->hasText())
        return;
    QTextCursor cursor = textCursor();
    const QString pasted = source->text();
    // Past the sizes a file opens read-only at, the text widget takes memory by the hundred MB
    // (some 33 bytes a character), and where that runs out it fails inside Qt, with no way
    // back: a paste that would take the text there is turned away.
    const qsizetype replacedLines = document()->findBlock(cursor.selectionEnd()).blockNumber() -
                                    document()->findBlock(cursor.selectionStart()).blockNumber();
    const qsizetype lines = blockCount() + LineBreaksIn(pasted) - replacedLines;
    const qsizetype characters = document()->characterCount() + pasted.size() -
                                 (cursor.selectionEnd() - cursor.selectionStart());
    if (lines > static_cast<qsizetype>(kMaxEditableLines) || characters > kLargeFileBytes) {
        emit refused(tr("Not pasted: the text would hold more than %1 lines or %2 MiB, more than "
                        "this editor edits; the text here is kept")
                         .arg(kMaxEditableLines)
                         .arg(kLargeFileBytes >> 20));
        return;
    }
    InsertLineText(cursor, pasted);
    setTextCursor(cursor);
    ensureCursorVisible();
}

} // namespace ini
