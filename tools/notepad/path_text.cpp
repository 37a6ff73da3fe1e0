#include "notepad/path_text.h"

#include "parse/text_encoding.h"

#include <string_view>

namespace ini {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// A code unit PathFromBytes made for a byte: a low surrogate in the escape range that no high
// surrogate before it pairs with.
bool IsEscape(QStringView path, qsizetype i) noexcept {
    const char16_t c = path[i].unicode();
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF &&
           !(i > 0 && path[i - 1].isHighSurrogate());
}

} // namespace

QString PathFromBytes(QByteArrayView bytes) {
    QString path;
    path.reserve(bytes.size());
    std::string_view rest(bytes.data(), static_cast<std::size_t>(bytes.size()));
    while (!rest.empty()) {
        const Utf8Sequence sequence = DecodeUtf8(rest);
        if (sequence.length == 0) {
            path += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(rest[0])));
            rest.remove_prefix(1);
            continue;
        }
        path += QStringView(QChar::fromUcs4(sequence.point));
        rest.remove_prefix(sequence.length);
    }
    return path;
}

QByteArray PathToBytes(QStringView path) {
    QByteArray bytes;
    qsizetype run = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!IsEscape(path, i))
            continue;
        bytes += path.sliced(run, i - run).toUtf8();
        bytes += static_cast<char>(path[i].unicode() - kEscapeBase);
        run = i + 1;
    }
    bytes += path.sliced(run).toUtf8();
    return bytes;
}

QString ShownPath(QStringView path) {
    QString shown = path.toString();
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (IsEscape(shown, i))
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

} // namespace ini
