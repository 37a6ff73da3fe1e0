// Arbitrary text through the key-description parser: an answer or an error, never a crash.

#include "platform/key_description.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = ini::ParseKeyDescription(text);
    if (!parsed.ok()) {
        if (parsed.error().empty())
            std::abort(); // a failure must say why
        return 0;
    }
    for (const ini::KeyStroke& stroke : parsed.value()) {
        if (const auto* c = std::get_if<char32_t>(&stroke.key)) {
            if (*c > 0x10FFFF || (*c >= 0xD800 && *c <= 0xDFFF))
                std::abort();
        }
    }
    return 0;
}
