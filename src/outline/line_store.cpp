#include "outline/line_store.h"

#include "parse/text_encoding.h"

#include <cstring>

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
        store.m_starts.push_back(static_cast<std::uint32_t>(offset + line.start));
        return true;
    });
    store.m_starts.push_back(static_cast<std::uint32_t>(bytes.size()));
    return store;
}

bool LineStore::IsValidUtf8() const noexcept {
    if (!m_validUtf8)
        m_validUtf8 = ::ini::IsValidUtf8(Bytes());
    return *m_validUtf8;
}

} // namespace ini
