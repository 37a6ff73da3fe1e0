#pragma once

#include "parse/node_key.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
// mark are handled by the rules in parse/line_ends.h. Offsets are 32-bit, which keeps the index
// small and limits a file to 4 GiB.
class LineStore {
public:
    LineStore() = default;

    static constexpr std::uint64_t maxBytes = 0xFFFFFFFFu;

    // Reads a whole regular file once. Anything that cannot be read as one (an empty path, a
    // missing file, a folder, a FIFO or device, no permission, over 4 GiB, too large for memory)
    // gives a LoadError naming the path and the system's reason; nothing blocks on a FIFO.
    // Large files are read and indexed by two threads; `letEventsRun`, when given, is called
    // every few milliseconds meanwhile (until it returns false).
    static std::variant<LineStore, LoadError>
    ReadFile(const std::string& path, const std::function<bool()>& letEventsRun = {});
    // The same cutting rules over bytes already in memory.
    static LineStore FromBytes(std::string bytes);

    std::size_t Count() const noexcept { return m_starts.empty() ? 0 : m_starts.size() - 1; }
    bool Empty() const noexcept { return Count() == 0; }
    // Line i without its terminator; i must be below Count().
    std::string_view Line(LineIndex i) const noexcept;
    // Whether the whole file is valid UTF-8; otherwise text is shown as Windows-1252. Worked out
    // on first use, so a load pays nothing for it.
    bool IsValidUtf8() const noexcept;
    // Bytes held, for memory accounting.
    std::size_t ByteSize() const noexcept { return m_size; }

private:
    void IndexLines(const std::function<bool()>& letEventsRun = {});
    std::string_view Bytes() const noexcept { return {m_bytes.get(), m_size}; }

    std::unique_ptr<char[]> m_bytes;
    std::size_t m_size = 0;
    std::vector<std::uint32_t> m_starts; // Count()+1 entries; the last is the end of the text
    mutable std::optional<bool> m_validUtf8;
};

} // namespace ini
