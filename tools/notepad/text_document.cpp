#include "notepad/text_document.h"

#include "notepad/cp1252_text.h"
#include "notepad/failure_text.h"
#include "notepad/line_match.h"
#include "parse/line_ends.h"
#include "parse/text_encoding.h"

#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <optional>

namespace ini {

namespace {

// Each line is converted on its own, and a U+FEFF at the start of a line is text, not a mark
// to drop.
constexpr auto kLineByLine =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

LineEnd EndOfSpan(std::string_view span) noexcept {
    switch (TerminatorLength(span)) {
    case 0:
        return LineEnd::None;
    case 2:
        return LineEnd::CrLf;
    default:
        return span.back() == '\n' ? LineEnd::Lf : LineEnd::Cr;
    }
}

std::string_view TerminatorBytes(LineEnd end) noexcept {
    switch (end) {
    case LineEnd::Lf:
        return "\n";
    case LineEnd::CrLf:
        return "\r\n";
    case LineEnd::Cr:
        return "\r";
    case LineEnd::None:
    case LineEnd::Unset:
        break;
    }
    return {};
}

// The most common terminator; LF when there is none, ties go to LF, then CR LF.
LineEnd MostCommonEnd(const std::vector<Line>& lines) noexcept {
    std::array<std::size_t, 4> counts{};
    for (const Line& line : lines) {
        if (line.end != LineEnd::Unset)
            ++counts[static_cast<std::size_t>(line.end)];
    }
    LineEnd best = LineEnd::Lf;
    for (const LineEnd candidate : {LineEnd::CrLf, LineEnd::Cr}) {
        if (counts[static_cast<std::size_t>(candidate)] > counts[static_cast<std::size_t>(best)])
            best = candidate;
    }
    return best;
}

qsizetype FirstUnpairedSurrogate(QStringView text) noexcept {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return i;
    }
    return 0;
}

// Appends text in one encoding to one growing buffer.
class ByteWriter {
public:
    ByteWriter(TextEncoding encoding, qsizetype capacity) : m_encoding(encoding) {
        m_bytes.reserve(capacity);
    }

    void AppendBytes(std::string_view bytes) {
        m_bytes.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }

    // Nothing on success, else the index of the first character the encoding cannot hold.
    std::optional<qsizetype> AppendText(QStringView text) {
        const qsizetype base = m_bytes.size();
        if (m_encoding == TextEncoding::Windows1252) {
            m_bytes.resize(base + text.size());
            char* out = m_bytes.data() + base;
            for (qsizetype i = 0; i < text.size(); ++i) {
                const std::optional<char> byte = EncodeCp1252(text[i].unicode());
                if (!byte)
                    return i;
                out[i] = *byte;
            }
            return std::nullopt;
        }
        m_bytes.resize(base + m_utf8.requiredSpace(text.size()));
        const char* end = m_utf8.appendToBuffer(m_bytes.data() + base, text);
        m_bytes.resize(end - m_bytes.constData());
        if (m_utf8.hasError())
            return FirstUnpairedSurrogate(text);
        return std::nullopt;
    }

    QByteArray Take() && { return std::move(m_bytes); }

private:
    TextEncoding m_encoding;
    QStringEncoder m_utf8{QStringConverter::Utf8, kLineByLine};
    QByteArray m_bytes;
};

} // namespace

QString EncodingName(TextEncoding encoding) {
    return encoding == TextEncoding::Utf8 ? QStringLiteral("UTF-8")
                                          : QStringLiteral("Windows-1252");
}

QString DecodeLine(std::string_view bytes, TextEncoding encoding) {
    if (encoding == TextEncoding::Windows1252)
        return DecodeCp1252(bytes);
    QStringDecoder decoder(QStringConverter::Utf8, kLineByLine);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

TextDocument TextDocument::FromBytes(std::string_view bytes) {
    TextDocument document;
    const std::string_view body = StripUtf8Bom(bytes);
    document.m_format.hasBom = body.size() != bytes.size();
    // The viewer's own check, so that the viewer and the editor show a file the same way.
    const bool utf8 = IsValidUtf8(body);
    document.m_format.encoding = utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1252;

    LineEndScanner scanner(body);
    std::size_t start = 0;
    while (const std::optional<std::string_view> line = scanner.Next()) {
        const LineEnd end = EndOfSpan(body.substr(start, scanner.Position() - start));
        start = scanner.Position();
        document.m_lines.push_back({DecodeLine(*line, document.m_format.encoding), end});
    }
    document.m_format.newLineEnd = MostCommonEnd(document.m_lines);
    document.m_format.endsWithTerminator =
        !document.m_lines.empty() && document.m_lines.back().end != LineEnd::None;
    return document;
}

TextDocument TextDocument::WithLines(std::vector<QString> texts) const {
    const bool endsWithTerminator = !texts.empty() && texts.back().isEmpty();
    if (endsWithTerminator)
        texts.pop_back();
    std::vector<QString> loaded;
    loaded.reserve(m_lines.size());
    for (const Line& line : m_lines)
        loaded.push_back(line.text);
    const std::vector<qsizetype> match = MatchLines(loaded, texts);

    TextDocument document;
    document.m_format = m_format;
    document.m_format.endsWithTerminator = endsWithTerminator && !texts.empty();
    document.m_lines.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const qsizetype from = match[i];
        LineEnd end = from < 0 ? LineEnd::Unset : m_lines[static_cast<std::size_t>(from)].end;
        const bool last = i + 1 == texts.size();
        if (last && !document.m_format.endsWithTerminator)
            end = LineEnd::None;
        else if (end == LineEnd::Unset || end == LineEnd::None)
            end = m_format.newLineEnd;
        document.m_lines.push_back({std::move(texts[i]), end});
    }
    return document;
}

TextDocument TextDocument::InUtf8() const {
    TextDocument copy = *this;
    copy.m_format.encoding = TextEncoding::Utf8;
    return copy;
}

Result<QByteArray> TextDocument::ToBytes() const {
    qsizetype capacity = static_cast<qsizetype>(utf8Bom.size());
    for (const Line& line : m_lines)
        capacity += line.text.size() + 2;
    ByteWriter writer(m_format.encoding, capacity);
    if (m_format.hasBom)
        writer.AppendBytes(utf8Bom);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (const std::optional<qsizetype> column = writer.AppendText(line.text)) {
            Failure failure = TextFailure(
                QStringLiteral("line %1, column %2 holds U+%3, which %4 cannot store")
                    .arg(i + 1)
                    .arg(*column + 1)
                    .arg(static_cast<uint>(line.text[*column].unicode()), 4, 16, QLatin1Char('0'))
                    .arg(EncodingName(m_format.encoding)));
            failure.place = TextPlace{static_cast<std::int64_t>(i), *column};
            return failure;
        }
        writer.AppendBytes(TerminatorBytes(line.end));
    }
    return std::move(writer).Take();
}

} // namespace ini
