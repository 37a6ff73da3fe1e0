#pragma once

#include "parse/node_key.h"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ini {

// Why a file could not be read, in words a person can act on.
struct LoadError {
    std::string path;
    std::string reason;
    // "Cannot load '<path>': <reason>"
    std::string Message() const;
};

// Every line of one loaded file, held as one buffer with the offset where each line starts.
// The bytes are kept as they are: no decoding, nothing lost. Line ends and a leading byte order
// mark are handled by the rules in parse/line_ends.h.
class LineStore {
public:
    LineStore() = default;

    // Reads a whole regular file once. Anything that cannot be read as one (an empty path, a
    // missing file, a folder, a FIFO or device, no permission, too large for memory) gives a
    // LoadError naming the path and the system's reason; nothing blocks on a FIFO.
    static std::variant<LineStore, LoadError> ReadFile(const std::string& path);
    // The same cutting rules over bytes already in memory.
    static LineStore FromBytes(std::string bytes);

    std::size_t Count() const noexcept { return m_starts.empty() ? 0 : m_starts.size() - 1; }
    bool Empty() const noexcept { return Count() == 0; }
    // Line i without its terminator; i must be below Count().
    std::string_view Line(LineIndex i) const noexcept;
    // Whether the whole file is valid UTF-8; otherwise text is shown as Windows-1252.
    bool IsValidUtf8() const noexcept { return m_validUtf8; }
    // Bytes held, for memory accounting.
    std::size_t ByteSize() const noexcept { return m_bytes.size(); }

private:
    void IndexLines();

    std::string m_bytes;
    std::vector<std::size_t> m_starts; // Count()+1 entries; the last is the end of the text
    std::size_t m_textStart = 0;       // 3 when a byte order mark was skipped
    bool m_validUtf8 = true;
};

} // namespace ini
