#pragma once

#include "outline/read/file_reader.h"
#include "parse/big_buffer.h"
#include "parse/keywords.h"
#include "parse/line_walk.h"
#include "parse/result.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ini {

// A letter, digit or underscore: what a whole word must not touch on either side.
constexpr bool IsWordByte(char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// Whether `name` (not empty) stands in `text` as a whole word. `before` is the byte in front of
// the text (a space at a line's start). When the text does not `end` there, more of it follows,
// so a name right at its end is not decided yet and does not count.
bool HoldsWord(std::string_view text, std::string_view name, char before = ' ',
               bool ends = true) noexcept;

// Every stretch of `content` that HoldsWord would find as a whole word, up to `longest` bytes:
// no space in it (a name is a word) and no letter, digit or underscore right before or after it.
// What a line may name: on "x = Tank-2" they are x, =, Tank, Tank-2 and 2. Views into content.
std::vector<std::string_view> WholeWordsOf(std::string_view content, std::size_t longest);

// Of the stretches of a content that name something (views into it), those that do not lie
// inside a longer one, each text once: on "x = Tank-2" with both defined, Tank-2 is meant.
std::vector<std::string_view> OutermostNames(const std::vector<std::string_view>& named);

// A line's content in the sense of the index: its bytes before the first ';'.
inline std::string_view ContentOf(std::string_view line) noexcept {
    return line.substr(0, line.find(';'));
}

// A top-level block as its opener names it; the views last as long as the callback's call.
struct DefinitionLine {
    LineIndex line;
    std::string_view type;
    std::string_view name;
};

// The walk's sink of a folder index, for one file at a time:
// - a definition is a line that opens a block while none is open and whose content has a second
//   word; its type is the first word and its name the second, as written;
// - a use of a name is a line whose content holds the name as a whole word, other than a line
//   that defines that name.
// Lines too long for a piece are followed part by part: a use in one is found wherever it
// stands, and its bytes (from the first word on: the cut drops the spaces before it) are kept
// in a temporary file until the line ends, so memory does not grow with the line.
class IndexSink {
public:
    // Gets each definition in file order; false stops the walk.
    using OnDefinition = std::function<bool(const DefinitionLine&)>;
    // Gets the bytes of a line that holds a use, in order, `ends` with the last; false stops.
    using OnUse = std::function<bool(LineIndex line, std::string_view bytes, bool ends)>;

    // Definitions go to `onDefinition` when there is one; uses of `name`, when it is not empty,
    // go to `onUse`.
    explicit IndexSink(OnDefinition onDefinition, std::string name = {}, OnUse onUse = {});

    // Definitions alone stand at the top level.
    bool SeesOnlyTopLevel() const noexcept { return m_name.empty(); }
    // Inline for the lines that neither define nor are searched, most of a folder's.
    void Line(const WalkedLine& line) {
        if ((line.lineClass == LineClass::Opener && line.stacks.Empty()) || !m_name.empty())
            LineWorthALook(line);
    }
    // `abandoned` is asked before each piece of the file is read: true ends the walk soon, also
    // in a file that defines nothing (one made of a single huge line, say).
    void StopWhen(std::function<bool()> abandoned) { m_abandoned = std::move(abandoned); }
    bool StopBeforePiece() {
        m_stopped = m_stopped || (m_abandoned && m_abandoned());
        return m_stopped;
    }
    bool LongLine(const WalkedLine& line, std::size_t leadingSpaces);
    void LongPart(std::string_view part);
    void LongEnd();
    bool Stopped() const noexcept { return m_stopped; }
    // What went wrong other than by a callback: a long line that holds a use could not be kept
    // to be printed (the walk went on), or not read back (it stopped there).
    const std::optional<Failure>& Failed() const noexcept { return m_failure; }

private:
    struct CloseFile {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };
    // The state of a line too long for a piece, as its parts come.
    struct LongState {
        LineIndex index = 0;
        bool defines = false; // a top-level opener: its second word is gathered
        std::string type;     // its first word, as written
        std::string name;     // its second word so far, up to nameRoom bytes
        std::size_t nameRoom = std::string::npos;
        bool nameDone = false; // a space came after some of it
        bool contentDone = false;
        std::string held;  // the content's end, where a use may still be starting
        char before = ' '; // the byte in front of `held`
        bool used = false; // the content holds the name
        std::uint64_t spooled = 0;
        std::string unkept; // why its bytes could not be kept, if they could not
    };

    void Define(LineIndex line, std::string_view type, std::string_view name);
    void GatherName(std::string_view content);
    void FindUse(std::string_view content, bool ends);
    void Fail(const char* what);
    void Spool(std::string_view bytes);
    void ReplaySpool();

    OnDefinition m_onDefinition;
    void LineWorthALook(const WalkedLine& line);
    std::function<bool()> m_abandoned;

    std::string m_name;
    OnUse m_onUse;
    bool m_stopped = false;
    std::optional<Failure> m_failure;
    LongState m_long;
    std::unique_ptr<std::FILE, CloseFile> m_spool;
};

// Walks `file` into `sink` as ini-outline reads: through pieces that go round, so memory does
// not grow with the file; they lie in `room` when it is given, kept from one file to the next.
// Fails when the file cannot be read or changes while it is read, or when the sink could not
// keep a long line.
Result<void> IndexFile(FileReader file, const Keywords& keywords, IndexSink& sink,
                       BigBuffer* room = nullptr);

// The uses of `name` (not empty) in `file`, each given to `onUse` as IndexSink gives them, in
// file order; false from it stops. Most lines never hold the name, so the file's bytes are
// searched for it and only the lines it stands in are looked at. Only a walk can tell whether a
// line that looks like the name's own definition is one (a block may be open there), and only a
// walk follows a line longer than a piece's carry: from such a line on the file is walked instead.
// `stop`, when given, is looked at between pieces: a search through a huge file ends soon after.
Result<void> FindUses(FileReader file, const Keywords& keywords, const std::string& name,
                      const IndexSink::OnUse& onUse, BigBuffer* room = nullptr,
                      const std::atomic<bool>* stop = nullptr);

// Definitions gathered from many files, grouped by type (in any letter case) and name (exactly).
// A folder holds millions of them: each is kept as a record over one shared text and found
// through a flat table of hashes, so that gathering one costs no allocation and about one cache
// miss.
class DefinitionGroups {
public:
    void Add(std::size_t file, const DefinitionLine& definition);
    // Gives each definition of a type and name defined more than once to
    // take(file, definition, startsGroup), group after group in the order of their first
    // definitions, each group's as they came; nothing is gathered for it.
    template <typename Take> void ForEachDuplicate(Take&& take) const {
        for (std::size_t place = 0; place < m_kept.size(); ++place) {
            const Kept& first = m_kept[place];
            if (first.last == none || first.last == place)
                continue; // not first in its group, or alone
            for (const Kept* kept = &first;; kept = &m_kept[kept->next]) {
                take(kept->file, DefinitionLine{kept->line, TypeOf(*kept), NameOf(*kept)},
                     kept == &first);
                if (kept->next == none)
                    break;
            }
        }
    }

private:
    static constexpr std::uint32_t none = UINT32_MAX;
    struct Kept {
        std::size_t file;
        LineIndex line;
        std::size_t text; // where its type stands in m_text, its name right after it
        std::size_t typeSize;
        std::size_t nameSize;
        std::uint32_t next = none; // the next definition of its group
        std::uint32_t last = none; // of the first of a group: its last definition so far
    };
    std::string_view TypeOf(const Kept& kept) const noexcept;
    std::string_view NameOf(const Kept& kept) const noexcept;
    std::uint32_t HashOf(const Kept& kept) const noexcept;
    // Puts the first definition of a group in the table; the table has a free slot.
    void Place(std::uint64_t slot) noexcept;
    void Grow();

    std::string m_text;
    std::vector<Kept> m_kept;
    // Open addressing: a slot holds the hash of a group's key in its high half and its first
    // definition's place plus one in its low half; 0 is free. At most half of them are taken.
    std::vector<std::uint64_t> m_slots;
    std::size_t m_groups = 0;
};

} // namespace ini
