#include "outline/check/structure_checks.h"

#include <algorithm>

namespace ini {

namespace {

// The length of a blank other than the space at the start of `text` (a tab, a vertical tab, a
// form feed, a no-break space in UTF-8 or Windows-1252), or 0.
std::size_t BlankAt(std::string_view text) noexcept {
    if (text.empty())
        return 0;
    switch (text.front()) {
    case '\t':
    case '\v':
    case '\f':
    case '\xA0':
        return 1;
    case '\xC2':
        return text.size() > 1 && text[1] == '\xA0' ? 2 : 0;
    default:
        return 0;
    }
}

// The text as a message quotes it: blanks that do not show are named.
std::string Quoted(std::string_view text) {
    std::string out = "'";
    while (!text.empty()) {
        const std::size_t blank = BlankAt(text);
        if (blank == 0) {
            out += text.front();
            text.remove_prefix(1);
            continue;
        }
        switch (text.front()) {
        case '\t':
            out += "<TAB>";
            break;
        case '\v':
            out += "<VT>";
            break;
        case '\f':
            out += "<FF>";
            break;
        default:
            out += "<NBSP>";
        }
        text.remove_prefix(blank);
    }
    return out + "'";
}

std::string AtLine(LineIndex line) {
    return " at line " + std::to_string(line + 1);
}

// The second word of a content whose first word is `first` (a view into it), or empty.
std::string_view SecondWord(std::string_view content, std::string_view first) noexcept {
    const std::size_t after =
        static_cast<std::size_t>(first.data() - content.data()) + first.size();
    return after < content.size() ? FirstWordOf(content.substr(after)) : std::string_view();
}

} // namespace

void StructureChecks::Line(const WalkedLine& line) {
    switch (line.lineClass) {
    case LineClass::End:
        if (m_depth == 0)
            Add(line.index, Quoted(m_splitter.ParseLine(line.text.line, false).content) +
                                AtLine(line.index) +
                                " closes no block: none is open here, so it is passed over");
        else
            --m_depth;
        break;
    case LineClass::Opener:
        if (m_depth == 0)
            CheckDefinition(line, m_splitter.ParseLine(line.text.line, false).content);
        // Kept raw, and made a node's text only if the block is never closed; assigned, not made
        // anew, so the few strings of the open blocks keep their room.
        m_open[m_depth].line = line.index;
        m_open[m_depth++].text.assign(line.text.line.substr(0, mostQuoted));
        break;
    case LineClass::Ordinary:
        CheckBlank(line);
        break;
    }
}

void StructureChecks::CheckBlank(const WalkedLine& line) {
    // Most first words begin no block name, and the rest hold no blank: two quick looks.
    static constexpr std::array<bool, 256> mayStartBlank = [] {
        std::array<bool, 256> starts{};
        for (const unsigned char c : {'\t', '\v', '\f', '\xA0', '\xC2'})
            starts[c] = true;
        return starts;
    }();
    const std::string_view word = line.firstWord;
    if (!m_keywords.MayBeginName(line.stacks.TopPath(), word))
        return;
    for (std::size_t at = 1; at < word.size(); ++at) {
        if (!mayStartBlank[static_cast<unsigned char>(word[at])] || BlankAt(word.substr(at)) == 0)
            continue;
        const std::string_view name = word.substr(0, at);
        if (m_keywords.FindChild(line.stacks.TopPath(), name) == noBlockOpen)
            return;
        Add(line.index, Quoted(word) + AtLine(line.index) +
                            " opens no block: only spaces separate words, so its first word is " +
                            Quoted(word) + ", not " + Quoted(name));
        return;
    }
}

void StructureChecks::CheckDefinition(const WalkedLine& line, std::string_view content) {
    const std::string_view first = FirstWordOf(content);
    const std::string_view name = SecondWord(content, first);
    if (name.empty())
        return;
    // Types match in any case, as the table does; names exactly.
    const std::string key = ToLowerAscii(first) + ' ' + std::string(name);
    const std::string written = std::string(first) + ' ' + std::string(name);
    const auto [found, isNew] = m_definitions.try_emplace(key, Definition{line.index, written});
    if (isNew)
        return;
    Definition& definition = found->second;
    if (!definition.named) {
        Add(definition.first, Quoted(definition.written) + AtLine(definition.first) +
                                  " is defined again" + AtLine(line.index));
        definition.named = true;
    }
    Add(line.index, Quoted(written) + AtLine(line.index) +
                        " is defined again: it was first defined" + AtLine(definition.first));
}

void StructureChecks::Add(LineIndex line, std::string message) {
    if (m_problems.size() == mostProblems) {
        ++m_uncounted;
        return;
    }
    m_problems.push_back(Problem{line, std::move(message)});
}

void StructureChecks::Finish() {
    for (std::size_t depth = 0; depth < m_depth; ++depth)
        Add(m_open[depth].line, Quoted(m_splitter.ParseLine(m_open[depth].text, false).content) +
                                    AtLine(m_open[depth].line) +
                                    " is never closed: every line after it belongs to it");
    m_depth = 0;
    std::stable_sort(m_problems.begin(), m_problems.end(),
                     [](const Problem& a, const Problem& b) { return a.line < b.line; });
}

} // namespace ini
