#include "notepad/block_lines.h"

#include <QBrush>
#include <QTextBlock>
#include <QTextCursor>

#include <utility>

namespace ini {

namespace {

constexpr int kHiddenCharacter = QTextFormat::UserProperty + 1;

bool BreaksBlock(char16_t c) noexcept {
    return c == u'\u2029' || c == u'\uFDD0' || c == u'\uFDD1';
}

QTextCharFormat PlaceholderFormat(char16_t hidden) {
    QTextCharFormat format;
    format.setProperty(kHiddenCharacter, static_cast<int>(hidden));
    format.setForeground(QBrush(Qt::darkGray));
    return format;
}

QString BlockText(const QTextBlock& block) {
    QString text;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QVariant hidden = fragment.charFormat().property(kHiddenCharacter);
        if (!hidden.isValid()) {
            text += fragment.text();
            continue;
        }
        QString part = fragment.text();
        part.replace(QChar(kBreakPlaceholder), QChar(static_cast<char16_t>(hidden.toInt())));
        text += part;
    }
    return text;
}

} // namespace

void ShowLines(QTextDocument& document, const std::vector<Line>& lines) {
    qsizetype size = 0;
    for (const Line& line : lines)
        size += line.text.size() + 1;
    QString text;
    text.reserve(size);
    std::vector<std::pair<qsizetype, char16_t>> hidden;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += u'\n';
        const qsizetype start = text.size();
        text += lines[i].text;
        // Document positions equal positions in this text: each '\n' becomes one block break.
        for (qsizetype at = start; at < text.size(); ++at) {
            const char16_t c = text[at].unicode();
            if (BreaksBlock(c)) {
                hidden.emplace_back(at, c);
                text[at] = QChar(kBreakPlaceholder);
            }
        }
    }

    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    document.setPlainText(text);
    QTextCursor cursor(&document);
    for (const auto& [at, c] : hidden) {
        cursor.setPosition(static_cast<int>(at));
        cursor.setPosition(static_cast<int>(at) + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(PlaceholderFormat(c));
    }
    document.setUndoRedoEnabled(undo);
    document.setModified(false);
}

std::vector<QString> CollectLines(const QTextDocument& document) {
    std::vector<QString> lines;
    lines.reserve(static_cast<std::size_t>(document.blockCount()));
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        lines.push_back(BlockText(block));
    return lines;
}

bool IsPlaceholderFormat(const QTextCharFormat& format) {
    return format.hasProperty(kHiddenCharacter);
}

} // namespace ini
