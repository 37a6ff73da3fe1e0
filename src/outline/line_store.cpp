#include "outline/line_store.h"

#include "parse/text_encoding.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace ini {

Failure LineStore::TooLarge(const FileReader& file) {
    return file.Fail("it is 4 GiB or larger (" + std::to_string(file.Size()) +
                     " bytes); files of up to 4 GiB minus one byte can be shown");
}

Result<LineStore> LineStore::ReadFile(const std::string& path) {
    Result<FileReader> file = FileReader::Open(path);
    if (!file.ok())
        return file.failure();
    return ReadFile(std::move(file).value(), [](LineIndex, const CutLine&) { return true; });
}

LineStore LineStore::FromBytes(std::string_view bytes) {
    LineStore store;
    store.m_bytes.Resize(bytes.size() + 1);
    std::memcpy(store.m_bytes.Data(), bytes.data(), bytes.size());
    store.m_size = bytes.size();
    const std::string_view text = StripUtf8Bom(bytes);
    const std::size_t offset = bytes.size() - text.size();
    CutCompleteLines(text, true, [&](const CutLine& line) {
        store.AddLine(offset + line.start);
        return true;
    });
    return store;
}

std::string_view LineStore::Line(LineIndex i) const noexcept {
    LineEndScanner lines(Bytes().substr(m_marks[i / linesPerMark]));
    for (std::size_t skip = i % linesPerMark; skip > 0; --skip)
        lines.Next();
    return lines.Next().value_or(std::string_view());
}

LineIndex LineStore::LineHolding(LineIndex from, const char* place) const noexcept {
    const auto offset = static_cast<std::size_t>(place - m_bytes.Data());
    // The last mark at or before the place, then line by line from there.
    const auto marks = std::span(m_marks.data(), m_marks.size()).subspan(from / linesPerMark);
    const auto after = std::upper_bound(marks.begin(), marks.end(), offset);
    LineIndex index =
        (from / linesPerMark + static_cast<std::size_t>(after - marks.begin()) - 1) * linesPerMark;
    const std::size_t mark = m_marks[index / linesPerMark];
    LineEndScanner lines(Bytes().substr(mark));
    while (lines.Next() && mark + lines.Position() <= offset && index + 1 < m_count)
        ++index;
    return std::max(index, from);
}

const char* LineStore::StartAfter(std::string_view line) const noexcept {
    LineEndScanner rest(Bytes().substr(static_cast<std::size_t>(line.data() - m_bytes.Data())));
    rest.Next();
    return line.data() + rest.Position();
}

bool LineStore::IsValidUtf8() const noexcept {
    if (!m_validUtf8)
        m_validUtf8 = ::ini::IsValidUtf8(Bytes());
    return *m_validUtf8;
}

} // namespace ini
