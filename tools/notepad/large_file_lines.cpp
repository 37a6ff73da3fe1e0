#include "notepad/large_file_lines.h"

#include "notepad/path_text.h"
#include "outline/read/line_store.h"

namespace ini {

Result<LargeFileLines> LargeFileLines::Read(const QString& path) {
    Result<LineStore> read = LineStore::ReadFile(PathToBytes(path).toStdString());
    if (!read.ok())
        return read.failure();
    auto store = std::make_unique<LineStore>(std::move(read).value());
    const TextEncoding encoding =
        store->IsValidUtf8() ? TextEncoding::Utf8 : TextEncoding::Windows1252;
    return LargeFileLines(std::move(store), encoding);
}

LargeFileLines::LargeFileLines(std::unique_ptr<LineStore> store, TextEncoding encoding)
    : m_store(std::move(store)), m_encoding(encoding) {}

LargeFileLines::LargeFileLines(LargeFileLines&&) noexcept = default;
LargeFileLines& LargeFileLines::operator=(LargeFileLines&&) noexcept = default;
LargeFileLines::~LargeFileLines() = default;

qint64 LargeFileLines::Count() const noexcept {
    return static_cast<qint64>(m_store->Count());
}

QString LargeFileLines::Text(qint64 i) const {
    return DecodeLine(m_store->Line(static_cast<LineIndex>(i)), m_encoding);
}

} // namespace ini
