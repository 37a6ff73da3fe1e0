#include "outline/index/file_index.h"

#include "outline/walk/walk_to_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

namespace ini {

namespace {

// The second word of a line whose first word is `type`, a view into it; empty when there is none
// before the content ends.
std::string_view NameAfter(std::string_view line, std::string_view type) noexcept {
    const std::size_t after = static_cast<std::size_t>(type.data() - line.data()) + type.size();
    return FirstWordOf(line.substr(after));
}

// How much of a long line is read back from its temporary file at a time.
constexpr std::size_t replayBytes = std::size_t{64} << 10;

} // namespace

bool HoldsWord(std::string_view text, std::string_view name, char before, bool ends) noexcept {
    for (std::size_t at = text.find(name); at != std::string_view::npos;
         at = text.find(name, at + 1)) {
        if (IsWordByte(at == 0 ? before : text[at - 1]))
            continue;
        const std::size_t after = at + name.size();
        if (after == text.size())
            return ends; // no later match fits
        if (!IsWordByte(text[after]))
            return true;
    }
    return false;
}

IndexSink::IndexSink(OnDefinition onDefinition, std::string name, OnUse onUse)
    : m_onDefinition(std::move(onDefinition)), m_name(std::move(name)), m_onUse(std::move(onUse)) {}

void IndexSink::Line(const WalkedLine& line) {
    const std::string_view text = line.text.line;
    std::string_view name;
    if (line.lineClass == LineClass::Opener && line.stacks.Empty()) {
        name = NameAfter(text, line.firstWord);
        if (!name.empty() && m_onDefinition)
            Define(line.index, line.firstWord, name);
    }
    if (!m_name.empty() && !m_stopped && name != m_name && HoldsWord(ContentOf(text), m_name))
        m_stopped = !m_onUse(line.index, text, true);
}

bool IndexSink::LongLine(const WalkedLine& line) {
    const bool defines = line.lineClass == LineClass::Opener && line.stacks.Empty();
    const bool findsUses = !m_name.empty();
    if (!findsUses && !(defines && m_onDefinition))
        return false;
    m_long = LongState{};
    m_long.index = line.index;
    m_long.defines = defines;
    m_long.type = line.firstWord;
    // Only uses need the name: up to one byte more than it tells it apart.
    m_long.nameRoom = m_onDefinition ? std::string::npos : m_name.size() + 1;
    if (findsUses) {
        Spool(line.text.line);
        FindUse(line.text.line, false);
    }
    return true;
}

void IndexSink::LongPart(std::string_view part) {
    const bool findsUses = !m_name.empty();
    // Once the content ended without a use, the line will not be printed.
    if (findsUses && (!m_long.contentDone || m_long.used))
        Spool(part);
    if (m_long.contentDone)
        return;
    const std::size_t semicolon = part.find(';');
    const std::string_view content = part.substr(0, semicolon);
    m_long.contentDone = semicolon != std::string_view::npos;
    if (m_long.defines)
        GatherName(content);
    if (findsUses)
        FindUse(content, m_long.contentDone);
}

void IndexSink::LongEnd() {
    if (!m_name.empty() && !m_long.contentDone)
        FindUse({}, true);
    if (m_long.defines && !m_long.name.empty() && m_onDefinition && !m_stopped)
        Define(m_long.index, m_long.type, m_long.name);
    const bool definesName = m_long.defines && m_long.name == m_name;
    if (m_long.used && !definesName && !m_stopped)
        ReplaySpool();
}

void IndexSink::Define(LineIndex line, std::string_view type, std::string_view name) {
    m_stopped = !m_onDefinition(DefinitionLine{line, type, name});
}

void IndexSink::GatherName(std::string_view content) {
    if (m_long.nameDone)
        return;
    if (m_long.name.empty()) {
        const std::size_t start = content.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return;
        content.remove_prefix(start);
    }
    const std::size_t end = content.find(' ');
    const std::size_t room = m_long.nameRoom - std::min(m_long.nameRoom, m_long.name.size());
    m_long.name.append(content.substr(0, std::min(end, room)));
    m_long.nameDone = end != std::string_view::npos;
}

void IndexSink::FindUse(std::string_view content, bool ends) {
    LongState& line = m_long;
    if (line.used)
        return;
    line.held.append(content);
    if (HoldsWord(line.held, m_name, line.before, ends)) {
        line.used = true;
        return;
    }
    // Only a name that reaches the end of what came may still turn out whole: keep that much.
    if (line.held.size() > m_name.size()) {
        const std::size_t cut = line.held.size() - m_name.size();
        line.before = line.held[cut - 1];
        line.held.erase(0, cut);
    }
}

void IndexSink::Fail(const char* what) {
    m_failure = Failure{std::string("cannot keep a long line ") + what + ": " +
                        std::strerror(errno != 0 ? errno : EIO)};
    m_stopped = true;
}

void IndexSink::Spool(std::string_view bytes) {
    if (m_stopped || bytes.empty())
        return;
    errno = 0;
    if (!m_spool) {
        m_spool.reset(std::tmpfile());
        if (!m_spool)
            return Fail("in a temporary file");
    }
    if (m_long.spooled == 0 && std::fseek(m_spool.get(), 0, SEEK_SET) != 0)
        return Fail("in a temporary file");
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_spool.get()) != bytes.size())
        return Fail("in a temporary file");
    m_long.spooled += bytes.size();
}

void IndexSink::ReplaySpool() {
    errno = 0;
    if (std::fseek(m_spool.get(), 0, SEEK_SET) != 0)
        return Fail("read back");
    std::string buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(m_long.spooled, replayBytes)), '\0');
    for (std::uint64_t left = m_long.spooled; left > 0 && !m_stopped;) {
        const std::size_t size =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        if (std::fread(buffer.data(), 1, size, m_spool.get()) != size)
            return Fail("read back");
        left -= size;
        m_stopped = !m_onUse(m_long.index, std::string_view(buffer.data(), size), left == 0);
    }
}

Result<void> IndexFile(FileReader file, const Keywords& keywords, IndexSink& sink) try {
    const Result<bool> walked = StreamFile(
        file, keywords, [] { return false; }, sink);
    if (sink.Failed())
        return file.Fail(*sink.Failed());
    if (!walked.ok())
        return walked.failure();
    return {};
} catch (const std::bad_alloc&) {
    return file.Fail(NotEnoughMemory("index it"));
}

std::string DefinitionKey(std::string_view type, std::string_view name) {
    std::string key = ToLowerAscii(type);
    key += ' ';
    key += name;
    return key;
}

void DefinitionGroups::Add(std::size_t file, const DefinitionLine& definition) {
    const auto [group, isNew] =
        m_groupOf.try_emplace(DefinitionKey(definition.type, definition.name), m_groups.size());
    if (isNew)
        m_groups.emplace_back();
    m_groups[group->second].push_back(PlacedDefinition{
        file, definition.line, std::string(definition.type), std::string(definition.name)});
}

std::vector<std::vector<PlacedDefinition>> DefinitionGroups::Duplicates() const {
    std::vector<std::vector<PlacedDefinition>> twice;
    std::copy_if(m_groups.begin(), m_groups.end(), std::back_inserter(twice),
                 [](const std::vector<PlacedDefinition>& group) { return group.size() > 1; });
    return twice;
}

} // namespace ini
