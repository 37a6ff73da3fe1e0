#pragma once

#include "notepad/text_document.h"

#include <QString>
#include <QStringView>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <vector>

// Moves lines into and out of the QTextDocument a QPlainTextEdit shows, so that line N of the
// file is always block N-1 of the document.
//
// QTextDocument starts a new block at U+2029 and at U+FDD0/U+FDD1 (its frame marks), which
// would shift every later line, and lays out U+2028 as a line break. Such characters are shown
// as a visible placeholder whose character format remembers what it stands for; a placeholder
// character the user types carries no such format and stays what it is. Text leaves and enters
// the document only through these functions, so no way in or out (load, save, clipboard, drag
// and drop) turns a placeholder into its glyph or a separator into a line break.

namespace ini {

inline constexpr char16_t kBreakPlaceholder = u'\u00B6';
inline constexpr char16_t kLineSeparatorPlaceholder = u'\u21B5';

// Replaces the document's content with the text's lines and starts a fresh, unmodified undo
// history. A text that ends with a line end gets an empty last block after it, as editors show
// one: the caret can go there, and what is typed there starts a line of its own.
void ShowLines(QTextDocument& document, const TextDocument& text);

// Each block's text, placeholders turned back into the characters they stand for; the last
// block is what follows the last line end (see TextDocument::WithLines).
std::vector<QString> CollectLines(const QTextDocument& document);

// How many of the file's lines the blocks hold: an empty last block after others is the place
// after the final line end, not a line.
int LineCount(const QTextDocument& document);

// The text of the cursor's selection as the lines hold it, a '\n' for each block break.
QString SelectedLineText(const QTextCursor& cursor);

// Inserts text in place of the cursor's selection as one undo step: CR LF, CR and LF each
// break the line, every other character is kept, placeholders standing in where needed.
void InsertLineText(QTextCursor& cursor, QStringView text);

// Whether text typed with this format would be taken for a placeholder's.
bool IsPlaceholderFormat(const QTextCharFormat& format);

} // namespace ini
