#pragma once

#include "parse/result.h"

#include <QByteArray>
#include <QString>

#include <string_view>
#include <vector>

namespace ini {

// How one line ended in the file; Unset for a line the user added.
enum class LineEnd : int { Unset = -1, None = 0, Lf = 1, CrLf = 2, Cr = 3 };

enum class TextEncoding { Utf8, Windows1252 };

// "UTF-8" or "Windows-1252".
QString EncodingName(TextEncoding encoding);

// One line's bytes as text: every line of a file is decoded on its own, so the editor and the
// read-only view of large files show the same characters.
QString DecodeLine(std::string_view bytes, TextEncoding encoding);

struct Line {
    QString text;
    LineEnd end = LineEnd::Unset;
};

// What a file needs beyond its lines to be written back byte for byte.
struct FileFormat {
    TextEncoding encoding = TextEncoding::Utf8;
    bool hasBom = false;
    LineEnd newLineEnd = LineEnd::Lf; // for lines the user adds: the file's most common end
    bool endsWithTerminator = false;  // whether the last line had one
};

// A text file as lines, each with its own terminator, plus its format. Holds no widgets so the
// round trip from bytes to lines and back can be tested on its own.
class TextDocument {
public:
    // An empty untitled text: UTF-8 without byte order mark, LF for new lines.
    TextDocument() = default;

    // Cuts bytes into lines exactly as the viewer does, so line N here is the viewer's line N.
    // Valid UTF-8 is read as UTF-8; anything else as Windows-1252, which gives every byte a
    // character, so no input is refused and every byte comes back on save.
    static TextDocument FromBytes(std::string_view bytes);

    // The same file with its text edited into these blocks, as the editor holds them: the
    // lines, then what follows the last line end, so an empty last block means the text ends
    // with one. Each line that continues one of this document's lines (see MatchLines) keeps
    // that line's terminator, so text that reads as loaded is written as loaded; line breaks
    // the user added get the file's most common end.
    TextDocument WithLines(std::vector<QString> texts) const;

    // The file's bytes. Fails at the place of the first character the encoding cannot hold.
    Result<QByteArray> ToBytes() const;
    // The same text to be written as UTF-8, which holds every character.
    TextDocument InUtf8() const;

    const std::vector<Line>& Lines() const noexcept { return m_lines; }
    const FileFormat& Format() const noexcept { return m_format; }

private:
    std::vector<Line> m_lines;
    FileFormat m_format;
};

} // namespace ini
