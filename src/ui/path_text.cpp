#include "ui/path_text.h"

#include "parse/text_encoding.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace ini {

namespace {

constexpr char32_t escapeBase = 0xDC00;
constexpr char32_t replacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

} // namespace

QString TextFromPath(std::string_view bytes) {
    // Built unit by unit: Qt's UTF-32 decoding would replace the lone surrogates.
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    while (!bytes.empty()) {
        const auto [length, point] = DecodeUtf8(bytes);
        if (length == 0) {
            // One byte at a time, so the bytes after a broken sequence are read afresh.
            text.append(QChar(
                static_cast<char16_t>(escapeBase + static_cast<std::uint8_t>(bytes.front()))));
            bytes.remove_prefix(1);
        } else {
            if (QChar::requiresSurrogates(point)) {
                text.append(QChar(QChar::highSurrogate(point)));
                text.append(QChar(QChar::lowSurrogate(point)));
            } else {
                text.append(QChar(static_cast<char16_t>(point)));
            }
            bytes.remove_prefix(length);
        }
    }
    return text;
}

std::string PathFromText(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(unit, text.at(i + 1)));
            ++i;
        } else if (unit.unicode() >= escapeBase + 0x80 && unit.unicode() <= escapeBase + 0xFF) {
            out += static_cast<char>(unit.unicode() - escapeBase);
        } else if (unit.isSurrogate()) {
            AppendUtf8(out, replacement);
        } else {
            AppendUtf8(out, unit.unicode());
        }
    }
    return out;
}

QString CurrentFolderText() {
    std::string buffer(4096, '\0');
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return QStringLiteral("/");
        buffer.resize(buffer.size() * 2);
    }
    return TextFromPath(buffer.c_str());
}

QString SentenceOf(const Failure& failure) {
    QString text = TextFromPath(failure.message);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

} // namespace ini
