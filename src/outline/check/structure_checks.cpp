#include "outline/check/structure_checks.h"

#include "parse/definition_counts.h"
#include "parse/text_encoding.h"

#include <algorithm>
#include <bit>
#include <functional>

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

// The length of a blank other than the space, or of bytes that do not show, at the start of
// `text` (a control byte other than a line end, a UTF-8 byte order mark left inside a text by
// joining files), or 0.
std::size_t UnseenAt(std::string_view text) noexcept {
    if (const std::size_t blank = BlankAt(text); blank > 0)
        return blank;
    if (text.starts_with(utf8Bom))
        return utf8Bom.size();
    return !text.empty() && static_cast<unsigned char>(text.front()) < 0x20 &&
                   !IsLineBreak(text.front())
               ? 1
               : 0;
}

bool HoldsBlank(std::string_view text) noexcept {
    for (std::size_t at = 0; at < text.size(); ++at)
        if (BlankAt(text.substr(at)) > 0)
            return true;
    return false;
}

// The text as a message quotes it: blanks that do not show are named, and other control bytes
// given by their value, so that a message never drives the terminal it is printed on. A long
// text is cut after some bytes, where a character starts, and "..." says so: the lines the
// checks copy (mostQuoted bytes) and the words of lines too long for a piece are longer still,
// so a text cut before it came here shows the mark too.
std::string Quoted(std::string_view text) {
    constexpr std::size_t quotedBytes = 120;
    const std::size_t size = text.size();
    std::string out = "'";
    while (!text.empty()) {
        const bool startsCharacter = (static_cast<unsigned char>(text.front()) & 0xC0) != 0x80;
        if (size - text.size() >= quotedBytes && startsCharacter) {
            out += "...";
            break;
        }
        const std::size_t blank = BlankAt(text);
        const auto byte = static_cast<unsigned char>(text.front());
        if (blank == 0 && text.starts_with(utf8Bom)) {
            out += "<BOM>";
            text.remove_prefix(utf8Bom.size());
            continue;
        }
        if (blank == 0 && (byte < 0x20 || byte == 0x7F)) {
            static constexpr char digits[] = "0123456789ABCDEF";
            out.append("<0x").append(1, digits[byte >> 4]).append(1, digits[byte & 15]) += '>';
            text.remove_prefix(1);
            continue;
        }
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

} // namespace

void StructureChecks::StrayEnd(LineIndex index, std::string_view text) {
    std::string message = Quoted(m_splitter.ParseLine(text, false).content) + AtLine(index) +
                          " closes no block: none is open here, so it is passed over";
    // Where to look: the extra End, or the misspelt opener whose End this was, is in there.
    if (m_lastClosed)
        message += "; the last block, opened" + AtLine(m_lastClosed->opener) + ", was closed" +
                   AtLine(m_lastClosed->end) + ": is an End too many in it, or a block name " +
                   "misspelt?";
    Add(index, std::move(message), true);
}

void StructureChecks::ClosedAtTopLevel(LineIndex opener, LineIndex end) noexcept {
    m_lastClosed = ClosedBlock{opener, end};
}

void StructureChecks::LinesLeaving() {
    for (; m_openersToCopy != 0; m_openersToCopy &= m_openersToCopy - 1) {
        const auto depth = static_cast<std::size_t>(std::countr_zero(m_openersToCopy));
        // Assigned, not made anew, so the few strings of the open blocks keep their room.
        m_openerLines[depth] = m_openers[depth].assign(m_openerLines[depth]);
    }
}

void StructureChecks::TopLevel(bool end, LineIndex index, std::string_view text) {
    if (end)
        StrayEnd(index, text);
    else
        CheckDefinition(index, text, FirstWordOf(text));
}

void StructureChecks::CheckBlank(LineIndex index, std::string_view line, std::string_view word,
                                 const BlockStacks& stacks) {
    static constexpr std::array<bool, 256> mayStartUnseen = [] {
        std::array<bool, 256> starts{};
        for (unsigned char c = 0; c < 0x20; ++c)
            starts[c] = true;
        for (const unsigned char c : {'\xA0', '\xC2', '\xEF'})
            starts[c] = true;
        return starts;
    }();
    if (UnseenAt(word) > 0) {
        CheckIndented(index, line, word, stacks);
        return;
    }
    for (std::size_t at = 1; at < word.size(); ++at) {
        if (!mayStartUnseen[static_cast<unsigned char>(word[at])] || UnseenAt(word.substr(at)) == 0)
            continue;
        const bool blank = BlankAt(word.substr(at)) > 0;
        AddUnseen(index, word, word, word.substr(0, at),
                  blank ? "only spaces separate words" : "a byte that does not show stands in it",
                  blank ? "" : "; remove it", stacks);
        return;
    }
}

void StructureChecks::CheckIndented(LineIndex index, std::string_view line, std::string_view word,
                                    const BlockStacks& stacks) {
    // What a reader that takes every blank for a space sees as the first word: after the
    // blanks and bytes that do not show (and spaces among them), up to the next of them, a
    // space or ";".
    const auto first = static_cast<std::size_t>(word.data() - line.data());
    std::size_t from = first;
    bool onlyBlanks = true;
    while (from < line.size() && (line[from] == ' ' || UnseenAt(line.substr(from)) > 0)) {
        onlyBlanks = onlyBlanks && (line[from] == ' ' || BlankAt(line.substr(from)) > 0);
        from += line[from] == ' ' ? 1 : UnseenAt(line.substr(from));
    }
    std::size_t to = from;
    while (to < line.size() && line[to] != ' ' && line[to] != ';' && UnseenAt(line.substr(to)) == 0)
        ++to;
    AddUnseen(index, line.substr(first, to - first), word, line.substr(from, to - from),
              onlyBlanks ? "only spaces indent a line" : "bytes that do not show stand before it",
              onlyBlanks ? "; indent with spaces" : "; remove them", stacks);
}

void StructureChecks::AddUnseen(LineIndex index, std::string_view written, std::string_view word,
                                std::string_view meant, std::string_view why, std::string_view fix,
                                const BlockStacks& stacks) {
    const bool end = IsEndWord(meant);
    if (!end && (meant.empty() || m_keywords.FindChild(stacks.TopPath(), meant) == noBlockOpen))
        return;
    // A file indented with tabs throughout holds such a line in every block.
    if (Counted())
        return;
    Add(index,
        Quoted(written) + AtLine(index) + (end ? " closes no block: " : " opens no block: ") +
            (end && stacks.Empty() ? "none is open here, and " : "") + std::string(why) +
            ", so its first word is " + Quoted(word) + ", not " + Quoted(meant) + std::string(fix));
}

void StructureChecks::CheckMissingEnd(LineIndex index, std::string_view text, std::string_view word,
                                      const BlockStacks& stacks) {
    if (m_keywords.FindChild(noBlockOpen, word) == noBlockOpen)
        return;
    // A value (`Weapon = GunB`) is what such a word is inside a block.
    const std::string_view name = WordAfter(text, word);
    if (name.empty() || name.front() == '=')
        return;
    Add(index, Quoted(m_splitter.ParseLine(text, false).content) + AtLine(index) +
                   " opens no block: the block opened at line " +
                   std::to_string(stacks.OpenKeys().front().line + 1) +
                   " is still open here; is an End missing above it?");
}

void StructureChecks::CheckDefinition(LineIndex index, std::string_view text,
                                      std::string_view first) {
    AddDefinition(index, first, WordAfter(text, first));
}

bool StructureChecks::LongLine(const WalkedLine& line) {
    See<true>(line);
    LinesLeaving(); // the word leaves with this call
    m_long = LongDefinition{};
    if (line.lineClass != LineClass::Opener)
        return false;
    // The opener's line as a message quotes it, should its block never close.
    if (m_copyOpeners)
        m_long.quotedDepth = line.stacks.Depth();
    m_long.defines = line.stacks.Empty();
    m_long.index = line.index;
    m_long.type = line.firstWord;
    return true;
}

void StructureChecks::LongPart(std::string_view part) {
    if (m_long.quotedDepth) {
        std::string& quoted = m_openers[*m_long.quotedDepth];
        quoted.append(part.substr(0, mostQuoted - std::min(mostQuoted, quoted.size())));
        m_openerLines[*m_long.quotedDepth] = quoted;
    }
    if (!m_long.defines || m_long.nameDone)
        return;
    if (m_long.name.empty())
        part.remove_prefix(std::min(part.size(), part.find_first_not_of(' ')));
    const std::size_t end = part.find_first_of(" ;");
    m_long.name.append(part.substr(0, end));
    m_long.nameDone = end != std::string_view::npos;
}

void StructureChecks::LongEnd() {
    if (m_long.defines)
        AddDefinition(m_long.index, m_long.type, m_long.name);
    m_long = LongDefinition{};
}

void StructureChecks::AddDefinition(LineIndex index, std::string_view first,
                                    std::string_view name) {
    if (name.empty())
        return;
    const auto written = [&] { return Quoted(std::string(first) + ' ' + std::string(name)); };
    if (name.front() == '=') {
        // "Object =Factory" too: a block's name that starts with '=' is a value's form.
        Add(index, written() + AtLine(index) + " opens a block named " + Quoted(name) +
                       ": that is the form of a value inside a block; is an End too many above "
                       "it?");
        return;
    }
    if (MayHoldOtherBlank(name) && HoldsBlank(name))
        Add(index, written() + AtLine(index) + " names its block " + Quoted(name) +
                       ": only spaces separate words, so the blank is part of its name");
    m_definitions.push_back(Definition{DefinitionCounts::HashOf(first, name), index});
    if (m_copyOpeners) {
        // A line a walk over pieces holds whole fits in a piece, far below 4 GiB; so does the
        // name of a longer one, or the walk's memory would have run out first.
        m_copied.push_back(CopiedWords{m_written.size(), static_cast<std::uint32_t>(first.size()),
                                       static_cast<std::uint32_t>(name.size())});
        m_written.append(first).append(name);
    }
}

StructureChecks::Words StructureChecks::WordsOf(std::size_t definition,
                                                const LineText& lineText) const {
    if (!m_copyOpeners) {
        const std::string_view text = lineText(m_definitions[definition].line);
        const std::string_view type = FirstWordOf(text);
        return {type, WordAfter(text, type)};
    }
    const CopiedWords& copied = m_copied[definition];
    const std::string_view words =
        std::string_view(m_written).substr(copied.typeAt, copied.typeSize + copied.nameSize);
    return {words.substr(0, copied.typeSize), words.substr(copied.typeSize)};
}

void StructureChecks::ReportDuplicates(const LineText& lineText) {
    const std::vector<std::size_t> candidates = MayBeDefinedAgain(
        m_definitions.size(), [&](std::size_t i) { return m_definitions[i].hash; });
    // Candidates come in file order, so the first the table gives is the first of its type and
    // name.
    DefinitionCounts counts([&](std::size_t c) {
        const Words words = WordsOf(candidates[c], lineText);
        return std::pair(words.type, words.name);
    });
    counts.Reserve(candidates.size());
    std::vector<bool> reported(candidates.size());
    const auto written = [&](std::size_t definition) {
        const Words words = WordsOf(definition, lineText);
        return Quoted(std::string(words.type) + ' ' + std::string(words.name));
    };
    for (std::size_t later = 0; later < candidates.size(); ++later) {
        const Definition& definition = m_definitions[candidates[later]];
        const std::size_t firstIndex = counts.Add(later, definition.hash);
        if (firstIndex == later)
            continue;
        const LineIndex first = m_definitions[candidates[firstIndex]].line;
        if (!reported[firstIndex])
            Add(first, written(candidates[firstIndex]) + AtLine(first) + " is defined again" +
                           AtLine(definition.line));
        reported[firstIndex] = true;
        Add(definition.line, written(candidates[later]) + AtLine(definition.line) +
                                 " is defined again: it was first defined" + AtLine(first));
    }
}

void StructureChecks::LinesWithOtherBlanks(std::optional<std::span<const char* const>> starts) {
    m_markedLines.erase(m_markedLines.begin(),
                        m_markedLines.begin() + static_cast<std::ptrdiff_t>(m_markedAt));
    m_markedAt = 0;
    if (m_copyOpeners && starts && !starts->empty())
        starts.reset(); // a long line's word is not where its line starts
    m_marked = starts.has_value();
    if (!m_marked) {
        m_markedLines.clear();
        m_nextMarked = 0;
        return;
    }
    for (const char* start : *starts)
        m_markedLines.push_back(reinterpret_cast<std::uintptr_t>(start));
    m_nextMarked = m_markedLines.empty() ? UINTPTR_MAX : m_markedLines.front();
}

bool StructureChecks::PassMarked(const char* line) {
    const auto at = reinterpret_cast<std::uintptr_t>(line);
    // A mark the walk did not stop at (a line it never hands on) must not hold back the rest.
    while (m_markedAt < m_markedLines.size() && m_markedLines[m_markedAt] < at)
        ++m_markedAt;
    const bool marked = m_markedAt < m_markedLines.size() && m_markedLines[m_markedAt] == at;
    m_markedAt += marked ? 1 : 0;
    m_nextMarked = m_markedAt < m_markedLines.size() ? m_markedLines[m_markedAt] : UINTPTR_MAX;
    return marked;
}

void StructureChecks::LookForBlank(LineIndex index, std::string_view line,
                                   const BlockStacks& stacks) {
    if (m_marked && !PassMarked(line.data()))
        return;
    const std::string_view word = FirstWordOf(line);
    if (!word.empty() && MayBeginNameOrBlank(stacks.TopPath(), word) &&
        MayHoldOtherBlankFast(word, line))
        CheckBlank(index, line, word, stacks);
}

void StructureChecks::TextStarts(std::string_view bytes) {
    // A NUL byte then stands beside every ASCII letter, so no block name and no end line is read
    // as such.
    if (StartsLikeUtf16(bytes))
        Add(0, "the file is UTF-16 text, which is read byte for byte: none of its block names or "
               "end lines is read as such; save it as ANSI or UTF-8 text");
}

bool StructureChecks::Counted() {
    if (m_finishing || m_problems.size() < mostProblems)
        return false;
    ++m_uncounted;
    return true;
}

void StructureChecks::Add(LineIndex line, std::string message, bool betweenBlocks) {
    // The walk finds problems in file order, so the first it keeps are the first by line. Those
    // found at the end may stand anywhere: they are kept, and the first by line are picked.
    if (m_problems.size() >= (m_finishing ? 2 * mostProblems : mostProblems)) {
        if (!m_finishing) {
            ++m_uncounted;
            return;
        }
        KeepFirstByLine();
    }
    m_problems.push_back(Problem{line, std::move(message), betweenBlocks});
}

void StructureChecks::KeepFirstByLine() {
    std::stable_sort(m_problems.begin(), m_problems.end(),
                     [](const Problem& a, const Problem& b) { return a.line < b.line; });
    if (m_problems.size() > mostProblems) {
        m_uncounted += m_problems.size() - mostProblems;
        m_problems.resize(mostProblems);
    }
}

void StructureChecks::End(const BlockStacks& open) {
    m_openAtEnd.clear();
    for (const NodeKey key : open.OpenKeys())
        m_openAtEnd.push_back(key.line);
}

void StructureChecks::Finish(const std::function<std::string_view(LineIndex)>& lineText) {
    m_finishing = true;
    for (std::size_t depth = 0; depth < m_openAtEnd.size(); ++depth) {
        const LineIndex line = m_openAtEnd[depth];
        const std::string_view text =
            m_copyOpeners ? m_openerLines[depth] : lineText(line).substr(0, mostQuoted);
        Add(line, Quoted(m_splitter.ParseLine(text, false).content) + AtLine(line) +
                      " is never closed: every line after it belongs to it");
    }
    ReportDuplicates(lineText);
    KeepFirstByLine();
}

} // namespace ini
