#pragma once

#include "parse/result.h"

#include <QString>

#include <string>
#include <string_view>

namespace ini {

// File-system paths are bytes; the window shows and edits text. Every path crosses between the
// two through this pair. Valid UTF-8 becomes its characters; every other byte b becomes the lone
// surrogate U+DC00 + b (U+DC80 to U+DCFF), so any byte sequence survives the trip to text and
// back unchanged.
QString TextFromPath(std::string_view bytes);
// The inverse: U+DC80 to U+DCFF become the bytes they stand for, everything else is UTF-8. A
// lone surrogate outside that range stands for no byte and becomes U+FFFD.
std::string PathFromText(const QString& text);

// A failure's message as a sentence on its own: a reason worded to follow a context starts in
// lower case, alone it starts the sentence.
QString SentenceOf(const Failure& failure);

// The current folder as text; "/" when it cannot be read.
QString CurrentFolderText();

} // namespace ini
