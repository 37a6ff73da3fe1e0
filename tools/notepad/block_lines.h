#pragma once

#include "notepad/text_document.h"

#include <QTextCharFormat>
#include <QTextDocument>

#include <vector>

// Moves lines into and out of the QTextDocument a QPlainTextEdit shows, so that line N of the
// file is always block N-1 of the document.
//
// QTextDocument starts a new block at U+2029 and at U+FDD0/U+FDD1 (its frame marks), which
// would shift every later line. Such characters are shown as a placeholder whose character
// format remembers what it stands for; a placeholder the user types carries no such format and
// stays what it is.

namespace ini {

inline constexpr char16_t kBreakPlaceholder = u'\u00B6';

// Replaces the document's content with the lines' texts and starts a fresh, unmodified undo
// history.
void ShowLines(QTextDocument& document, const std::vector<Line>& lines);

// Each block's text, placeholders turned back into the characters they stand for.
std::vector<QString> CollectLines(const QTextDocument& document);

// Whether text typed with this format would be taken for a placeholder's.
bool IsPlaceholderFormat(const QTextCharFormat& format);

} // namespace ini
