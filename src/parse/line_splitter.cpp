#include "parse/line_splitter.h"

#include <cstring>

namespace ini {

std::string SplitLine::Comment() const {
    if (commentTail.empty())
        return {};
    std::string text(commentLead);
    text.append(commentTail);
    return text;
}

void SplitLine::AppendNodeText(std::string& out) const {
    out.append(content);
    if (!commentTail.empty()) {
        out.append(commentLead);
        out.append(commentTail);
    }
}

std::string SplitLine::NodeText() const {
    std::string text;
    text.reserve(content.size() +
                 (commentTail.empty() ? 0 : commentLead.size() + commentTail.size()));
    AppendNodeText(text);
    return text;
}

std::string NodeText::ToString() const {
    LineSplitter splitter;
    return splitter.ParseLine(line, showComments).NodeText();
}

std::string_view FirstWordOf(std::string_view line) noexcept {
    std::size_t start = 0;
    while (start < line.size() && line[start] == ' ')
        ++start;
    std::size_t end = start;
    while (end < line.size() && line[end] != ' ' && line[end] != ';')
        ++end;
    return line.substr(start, end - start);
}

SplitLine LineSplitter::ParseLine(std::string_view data, bool showComments) {
    SplitLine result;
    std::string_view content = data;
    if (const void* semi = std::memchr(data.data(), ';', data.size())) {
        const auto at = static_cast<std::size_t>(static_cast<const char*>(semi) - data.data());
        content = data.substr(0, at);
        if (showComments)
            result.commentTail = data.substr(at);
    }

    const std::size_t first = content.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return result; // nothing but spaces: empty content
    content = content.substr(first, content.find_last_not_of(' ') - first + 1);

    // Most lines have single spaces only; they need no copy.
    const std::size_t doubled = content.find("  ");
    if (doubled == std::string_view::npos) {
        result.content = content;
        return result;
    }
    m_collapsed.assign(content.data(), doubled + 1);
    for (std::size_t i = doubled + 1; i < content.size(); ++i) {
        if (content[i] != ' ' || content[i - 1] != ' ')
            m_collapsed.push_back(content[i]);
    }
    result.content = m_collapsed;
    return result;
}

} // namespace ini
