#include "outline/index/file_index.h"

#include "outline/walk/walk_to_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

namespace ini {

namespace {

// How much of a long line is read back from its temporary file at a time.
constexpr std::size_t replayBytes = std::size_t{64} << 10;

// Where temporary files go: $TMPDIR, or /tmp.
std::string TemporaryFolder() {
    const char* const folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// A temporary file in TemporaryFolder(), gone from its folder at once: std::tmpfile looks at
// /tmp only, which is a small memory-backed file system on many desktops.
std::FILE* TemporaryFile() {
    std::string path = TemporaryFolder() + "/ini-outline-XXXXXX";
    const int descriptor = ::mkostemp(path.data(), O_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    ::unlink(path.c_str());
    std::FILE* const file = ::fdopen(descriptor, "w+b");
    if (file == nullptr)
        ::close(descriptor);
    return file;
}

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

std::vector<std::string_view> WholeWordsOf(std::string_view content, std::size_t longest) {
    std::vector<std::string_view> words;
    for (std::size_t start = 0; start < content.size(); ++start) {
        if (start > 0 && IsWordByte(content[start - 1]))
            continue;
        const std::size_t stop = std::min(content.size(), start + longest);
        for (std::size_t end = start; end < stop && content[end] != ' '; ++end) {
            if (end + 1 == content.size() || !IsWordByte(content[end + 1]))
                words.push_back(content.substr(start, end + 1 - start));
        }
    }
    return words;
}

std::vector<std::string_view> OutermostNames(const std::vector<std::string_view>& named) {
    const auto inside = [](std::string_view inner, std::string_view outer) {
        return inner.size() < outer.size() && inner.data() >= outer.data() &&
               inner.data() + inner.size() <= outer.data() + outer.size();
    };
    std::vector<std::string_view> names;
    for (const std::string_view spot : named) {
        const bool covered = std::any_of(named.begin(), named.end(), [&](std::string_view other) {
            return inside(spot, other);
        });
        if (!covered && std::find(names.begin(), names.end(), spot) == names.end())
            names.push_back(spot);
    }
    return names;
}

IndexSink::IndexSink(OnDefinition onDefinition, std::string name, OnUse onUse)
    : m_onDefinition(std::move(onDefinition)), m_name(std::move(name)), m_onUse(std::move(onUse)) {}

void IndexSink::LineWorthALook(const WalkedLine& line) {
    const std::string_view text = line.text.line;
    std::string_view name;
    if (line.lineClass == LineClass::Opener && line.stacks.Empty()) {
        name = line.bytes != nullptr ? WordAfterFast(text, line.firstWord, *line.bytes)
                                     : WordAfter(text, line.firstWord);
        if (!name.empty() && m_onDefinition)
            Define(line.index, line.firstWord, name);
    }
    if (!m_name.empty() && !m_stopped && name != m_name && HoldsWord(ContentOf(text), m_name))
        m_stopped = !m_onUse(line.index, text, true);
}

bool IndexSink::LongLine(const WalkedLine& line, std::size_t leadingSpaces) {
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
        // The line is printed as it stands, its indentation included.
        static const std::string spaces(4096, ' ');
        for (std::size_t left = leadingSpaces; left > 0;) {
            const std::size_t run = std::min(left, spaces.size());
            Spool(std::string_view(spaces).substr(0, run));
            left -= run;
        }
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
    if (!m_long.used || definesName || m_stopped)
        return;
    if (m_long.unkept.empty())
        ReplaySpool();
    else if (!m_failure)
        m_failure =
            Failure{"cannot print line " + std::to_string(m_long.index + 1) + ", which names '" +
                    m_name + "': it is too long to hold in memory, and " + m_long.unkept};
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
    if (m_stopped || bytes.empty() || !m_long.unkept.empty())
        return;
    errno = 0;
    if (!m_spool)
        m_spool.reset(TemporaryFile());
    const bool kept = m_spool &&
                      (m_long.spooled > 0 || std::fseek(m_spool.get(), 0, SEEK_SET) == 0) &&
                      std::fwrite(bytes.data(), 1, bytes.size(), m_spool.get()) == bytes.size();
    if (!kept) {
        // Only a line that holds a use is lost: the walk goes on, and says so at the end if so.
        m_long.unkept = std::string("no temporary file could be kept in '") + TemporaryFolder() +
                        "' (TMPDIR): " + std::strerror(errno != 0 ? errno : EIO);
        m_spool.reset();
        return;
    }
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

Result<void> IndexFile(FileReader file, const Keywords& keywords, IndexSink& sink,
                       BigBuffer* room) try {
    const Result<bool> walked = WithFastestMasks([&](auto masks) {
        return StreamFile<decltype(masks)>(
            file, keywords, [] { return false; }, sink, Threading::OwnThread, room);
    });
    if (sink.Failed())
        return file.Fail(*sink.Failed());
    if (!walked.ok())
        return walked.failure();
    return {};
} catch (const std::bad_alloc&) {
    return file.Fail(NotEnoughMemory("index it"));
}

namespace {

// Where a search for uses left off: at the end of the file, stopped by its caller, or at the line
// from which the walk must take over.
struct SearchEnd {
    bool stopped = false;
    std::optional<LineIndex> walkFrom;
};

// Whether a line may be the definition of `name`: one that opens a block at the top level, with
// the name as its second word.
bool MayDefine(std::string_view line, const std::string& name, const Keywords& keywords) {
    const std::string_view type = FirstWordOf(line);
    return !type.empty() && WordAfter(line, type) == name &&
           ClassifyFirstWord(type, BlockStacks{}, keywords).lineClass == LineClass::Opener;
}

// The uses of `name` in `lines` (whole lines, each ended), the first of which is line `first`;
// gives how many lines it holds in `first`'s stead, or where the search must end. Lines are
// counted only up to a use, and to the end only when `more` follow: most files hold no use,
// and their lines need no counting at all.
struct FoundIn {
    LineIndex next;
    SearchEnd end;
    bool ended = false;
};
FoundIn SearchLines(std::string_view lines, LineIndex first, bool more, const std::string& name,
                    const Keywords& keywords, const IndexSink::OnUse& onUse) {
    std::size_t counted = 0; // lines before this offset are counted into `first`
    for (std::size_t from = 0;;) {
        const std::size_t found = lines.substr(from).find(name);
        if (found == std::string_view::npos)
            break;
        const std::size_t at = from + found;
        std::size_t start = at;
        while (start > from && !IsLineBreak(lines[start - 1]))
            --start;
        const std::size_t end = FindLineBreak(lines, start);
        const std::string_view line = lines.substr(start, end - start);
        first += CountLineEnds(lines.substr(counted, start - counted));
        counted = start;
        from = std::max(end, at + 1); // a name that holds a line break matches across lines
        if (!HoldsWord(ContentOf(line), name))
            continue;
        if (MayDefine(line, name, keywords))
            return {first, {false, first}, true};
        if (!onUse(first, line, true))
            return {first, {true, std::nullopt}, true};
    }
    return {more ? first + CountLineEnds(lines.substr(counted)) : first, {}, false};
}

// Searches the file's bytes for the name, piece by piece; a piece's unfinished last line goes
// in front of the next.
Result<SearchEnd> SearchUses(FileReader& file, const Keywords& keywords, const std::string& name,
                             const IndexSink::OnUse& onUse, BigBuffer* room,
                             const std::atomic<bool>* stop) {
    std::optional<PieceReader> reader;
    if (room != nullptr)
        reader.emplace(file, *room);
    else
        reader.emplace(file);
    LineIndex line = 0;
    std::string_view carry;
    for (bool first = true;; first = false) {
        Result<PieceReader::Piece> got = reader->Next(carry);
        if (!got.ok())
            return got.failure();
        const PieceReader::Piece& piece = got.value();
        const std::string_view bytes = first ? StripUtf8Bom(piece.bytes) : piece.bytes;
        // A line feed always ends a line; what follows the last one may go on in the next piece.
        const std::size_t complete = piece.atEnd ? bytes.size() : bytes.rfind('\n') + 1;
        const FoundIn found =
            SearchLines(bytes.substr(0, complete), line, !piece.atEnd, name, keywords, onUse);
        if (found.ended)
            return found.end;
        line = found.next;
        if (piece.atEnd)
            break;
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            return SearchEnd{true, std::nullopt};
        carry = bytes.substr(complete);
        if (carry.size() > reader->CarryRoom())
            return SearchEnd{false, line};
    }
    if (Result<void> same = file.CheckUnchanged(); !same.ok())
        return same.failure();
    return SearchEnd{};
}

} // namespace

Result<void> FindUses(FileReader file, const Keywords& keywords, const std::string& name,
                      const IndexSink::OnUse& onUse, BigBuffer* room,
                      const std::atomic<bool>* stop) try {
    const Result<SearchEnd> searched = SearchUses(file, keywords, name, onUse, room, stop);
    if (!searched.ok())
        return searched.failure();
    if (!searched.value().walkFrom)
        return {};
    // The uses before that line were given already.
    const LineIndex from = *searched.value().walkFrom;
    if (Result<void> rewound = file.Rewind(); !rewound.ok())
        return rewound;
    IndexSink sink([stop](const DefinitionLine&) { return stop == nullptr || !stop->load(); }, name,
                   [&](LineIndex line, std::string_view bytes, bool ends) {
                       return line < from || onUse(line, bytes, ends);
                   });
    return IndexFile(std::move(file), keywords, sink, room);
} catch (const std::bad_alloc&) {
    return file.Fail(NotEnoughMemory("search it"));
}

std::string_view DefinitionGroups::TypeOf(const Kept& kept) const noexcept {
    return std::string_view(m_text).substr(kept.text, kept.typeSize);
}

std::string_view DefinitionGroups::NameOf(const Kept& kept) const noexcept {
    return std::string_view(m_text).substr(kept.text + kept.typeSize, kept.nameSize);
}

std::uint32_t DefinitionGroups::HashOf(const Kept& kept) const noexcept {
    // FNV-1a over the type in lower case, a space and the name.
    std::uint64_t hash = 14695981039346656037u;
    const auto add = [&hash](char c) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    };
    for (const char c : TypeOf(kept))
        add(ToLowerAscii(c));
    add(' ');
    for (const char c : NameOf(kept))
        add(c);
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

void DefinitionGroups::Place(std::uint64_t slot) noexcept {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t at = (slot >> 32) & mask;
    while (m_slots[at] != 0)
        at = (at + 1) & mask;
    m_slots[at] = slot;
}

void DefinitionGroups::Grow() {
    std::vector<std::uint64_t> old(std::max<std::size_t>(1024, m_slots.size() * 2), 0);
    old.swap(m_slots);
    for (const std::uint64_t slot : old) {
        if (slot != 0)
            Place(slot);
    }
}

void DefinitionGroups::Add(std::size_t file, const DefinitionLine& definition) {
    if (m_kept.size() >= none)
        throw std::bad_alloc(); // more than a slot can tell apart
    if ((m_groups + 1) * 2 > m_slots.size())
        Grow();
    const auto kept = static_cast<std::uint32_t>(m_kept.size());
    const std::size_t text = m_text.size();
    // The words first: should memory run out in between, the records stay whole.
    m_text.append(definition.type).append(definition.name);
    m_kept.push_back({file, definition.line, text, definition.type.size(), definition.name.size()});
    const std::uint32_t hash = HashOf(m_kept.back());
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const std::uint64_t slot = m_slots[at];
        if (slot == 0)
            break;
        Kept& first = m_kept[static_cast<std::uint32_t>(slot) - 1];
        if (slot >> 32 == hash && NameOf(first) == definition.name &&
            EqualsIgnoringCase(TypeOf(first), definition.type)) {
            m_kept[first.last].next = kept;
            first.last = kept;
            return;
        }
    }
    m_kept.back().last = kept;
    Place(std::uint64_t{hash} << 32 | (kept + 1));
    ++m_groups;
}

} // namespace ini
