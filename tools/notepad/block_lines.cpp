#include "notepad/block_lines.h"

#include <QBrush>
#include <QTextBlock>

#include <algorithm>
#include <optional>
#include <utility>

namespace ini {

namespace {

constexpr int kHiddenCharacter = QTextFormat::UserProperty + 1;

// The glyph shown for a character the document cannot hold as itself.
std::optional<char16_t> PlaceholderFor(char16_t c) noexcept {
    switch (c) {
    case u'\u2028':
        return kLineSeparatorPlaceholder;
    case u'\u2029':
    case u'\uFDD0':
    case u'\uFDD1':
        return kBreakPlaceholder;
    default:
        return std::nullopt;
    }
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
        const auto c = static_cast<char16_t>(hidden.toInt());
        QString part = fragment.text();
        part.replace(QChar(PlaceholderFor(c).value_or(c)), QChar(c));
        text += part;
    }
    return text;
}

} // namespace

void ShowLines(QTextDocument& document, const TextDocument& shown) {
    const std::vector<Line>& lines = shown.Lines();
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
            if (const std::optional<char16_t> placeholder = PlaceholderFor(c)) {
                hidden.emplace_back(at, c);
                text[at] = QChar(*placeholder);
            }
        }
    }
    if (shown.Format().endsWithTerminator)
        text += u'\n';

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

int LineCount(const QTextDocument& document) {
    const int blocks = document.blockCount();
    return blocks > 1 && document.lastBlock().length() == 1 ? blocks - 1 : blocks;
}

QString SelectedLineText(const QTextCursor& cursor) {
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    QString text;
    // A placeholder is one character as the one it stands for, so positions in a block's
    // text are positions in the document.
    for (QTextBlock block = cursor.document()->findBlock(start);
         block.isValid() && block.position() <= end; block = block.next()) {
        const QString line = BlockText(block);
        const int from = std::max(start - block.position(), 0);
        const int to = std::min<qsizetype>(end - block.position(), line.size());
        if (block.position() > start)
            text += u'\n';
        text += QStringView(line).sliced(from, to - from);
    }
    return text;
}

void InsertLineText(QTextCursor& cursor, QStringView text) {
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    // Ordinary text never takes on the format of a placeholder it is inserted next to.
    const QTextCharFormat plain;
    qsizetype run = 0;
    const auto flush = [&](qsizetype at) {
        if (at > run)
            cursor.insertText(text.sliced(run, at - run).toString(), plain);
    };
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c == u'\r' || c == u'\n') {
            flush(at);
            if (c == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n')
                ++at;
            cursor.insertBlock(cursor.blockFormat(), plain);
            run = at + 1;
        } else if (const std::optional<char16_t> placeholder = PlaceholderFor(c)) {
            flush(at);
            cursor.insertText(QString(QChar(*placeholder)), PlaceholderFormat(c));
            run = at + 1;
        }
    }
    flush(text.size());
    cursor.endEditBlock();
}

bool IsPlaceholderFormat(const QTextCharFormat& format) {
    return format.hasProperty(kHiddenCharacter);
}

} // namespace ini
