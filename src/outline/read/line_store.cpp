#include "outline/read/line_store.h"

#include "parse/text_encoding.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace ini {

Failure LineStore::TooLarge(const FileReader& file) {
    return file.Fail("it is 4 GiB or larger (" + std::to_string(file.Size()) +
                         " bytes); files of up to 4 GiB minus one byte can be shown",
                     FailureKind::TooLarge);
}

Result<LineStore> LineStore::ReadFile(const std::string& path) {
    Result<FileReader> file = FileReader::Open(path);
    if (!file.ok())
        return file.failure();
    // Only the lines' places are kept.
    struct Keep {
        bool Line(LineIndex, const CutLine&) { return true; }
        bool LongLine(LineIndex, std::string_view, std::size_t) { return true; }
        void LongPart(std::string_view) {}
        void LongEnd() {}
    } keep;
    return ReadFile(std::move(file).value(), keep);
}

std::string_view LineStore::Line(LineIndex i) const noexcept {
    return PlaceLine(i).text;
}

LineStore::PlacedLine LineStore::PlaceLine(LineIndex i) const noexcept {
    const std::size_t mark = m_marks[i / linesPerMark];
    LineEndScanner lines(Bytes().substr(mark));
    for (std::size_t skip = i % linesPerMark; skip > 0; --skip)
        lines.Next();
    const std::string_view text = lines.Next().value_or(std::string_view());
    return {i, text, m_bytes.Data() + mark + lines.Position()};
}

LineStore::PlacedLine LineStore::NextLine(const PlacedLine& line) const noexcept {
    const auto start = static_cast<std::size_t>(line.next - m_bytes.Data());
    LineEndScanner lines(Bytes().substr(start));
    const std::string_view text = lines.Next().value_or(std::string_view());
    return {line.index + 1, text, line.next + lines.Position()};
}

LineStore::PlacedLine LineStore::LineHolding(const PlacedLine& from,
                                             const char* place) const noexcept {
    if (from.next != nullptr && place < from.next)
        return from; // most often, as scans go on from the line after the last place
    // Farther than this, the marks are searched rather than every line in between cut.
    constexpr std::size_t jumpBytes = 4096;
    const auto offset = static_cast<std::size_t>(place - m_bytes.Data());
    auto start = static_cast<std::size_t>(from.text.data() - m_bytes.Data());
    LineIndex index = from.index;
    if (offset - start > jumpBytes) {
        const std::size_t fromMark = from.index / linesPerMark;
        const auto marks = std::span(m_marks.data(), m_marks.size()).subspan(fromMark);
        const auto after = std::upper_bound(marks.begin(), marks.end(), offset);
        const std::size_t mark = fromMark + static_cast<std::size_t>(after - marks.begin()) - 1;
        if (mark * linesPerMark > index) {
            index = mark * linesPerMark;
            start = m_marks[mark];
        }
    }
    LineEndScanner lines(Bytes().substr(start));
    for (;;) {
        const std::string_view text = lines.Next().value_or(std::string_view());
        if (start + lines.Position() > offset || index + 1 >= m_count)
            return {index, text, m_bytes.Data() + start + lines.Position()};
        ++index;
    }
}

} // namespace ini
