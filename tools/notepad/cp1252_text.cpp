#include "notepad/cp1252_text.h"

#include "parse/cp1252.h"

namespace ini {

QString DecodeCp1252(std::string_view bytes) {
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char c : bytes) {
        *out++ = Cp1252ToUnicode(static_cast<unsigned char>(c));
    }
    return text;
}

std::optional<char> EncodeCp1252(char16_t character) noexcept {
    if (const auto byte = UnicodeToCp1252(character))
        return static_cast<char>(*byte);
    return std::nullopt;
}

} // namespace ini
