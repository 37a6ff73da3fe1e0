#pragma once

#include "notepad/text_document.h"
#include "parse/result.h"

#include <QString>

#include <memory>

namespace ini {

class LineStore;

// The lines of a file too large for the editable text, read and cut by the viewer's own line
// store, so line N here is line N in the viewer. The bytes stay as read and each line is
// decoded only when it is shown, which keeps memory near the file's size.
class LargeFileLines {
public:
    // The file's lines, or why it could not be read.
    static Result<LargeFileLines> Read(const QString& path);

    LargeFileLines(LargeFileLines&&) noexcept;
    LargeFileLines& operator=(LargeFileLines&&) noexcept;
    ~LargeFileLines();

    qint64 Count() const noexcept;
    // Line i (below Count()) as text, decoded as the editable text would decode it.
    QString Text(qint64 i) const;
    TextEncoding Encoding() const noexcept { return m_encoding; }

private:
    LargeFileLines(std::unique_ptr<LineStore> store, TextEncoding encoding);

    std::unique_ptr<LineStore> m_store;
    TextEncoding m_encoding;
};

} // namespace ini
