#pragma once

#include "outline/nodes/outline_nodes.h"
#include "outline/read/line_store.h"
#include "parse/node_key.h"
#include "parse/worker.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// Whether a line's node shows its comment, answerable off the UI thread. Lines without a node
// yet (inside blocks not filled) will get one under the switch as it is now; nodes made under the
// other setting (roots of a load, blocks filled before the switch was toggled) are listed.
class CommentPlan {
public:
    CommentPlan() = default;
    explicit CommentPlan(bool switchOn) : m_switchOn(switchOn) {}

    bool ShowsComment(LineIndex line) const noexcept;

private:
    friend class CommentPlanBuilder;

    bool m_switchOn = false;
    std::vector<std::uint32_t> m_flipped; // sorted lines whose node shows the other way
};

// Makes a plan a slice of roots at a time, so an outline of millions of roots never holds up
// the window. Nodes added between slices follow the switch and need no entry, so the outline
// may grow meanwhile; a new outline or a toggled switch needs a new builder.
class CommentPlanBuilder {
public:
    explicit CommentPlanBuilder(bool switchOn) : m_plan(switchOn) {}
    // Looks at up to `roots` more roots and their blocks; true once every root has been seen.
    bool Step(const OutlineNodes& nodes, std::size_t roots);
    CommentPlan Take() { return std::move(m_plan); }

private:
    CommentPlan m_plan;
    std::size_t m_nextRoot = 0;
    OutlineNodes::Cursor m_cursor; // the roots are gone through in order
};

// The root whose block holds `line`: the last root at or before it; nothing before the first.
std::optional<NodeKey> RootHolding(const OutlineNodes& nodes, LineIndex line) noexcept;

// Whether a line gets a node once its block is filled: every line with content except block
// ends. Every fill walks its block with the stacks the load had there, so this needs no walk.
bool IsNodeLine(std::string_view line) noexcept;

// Whether `text` holds `needle`, ASCII letters compared without case; other bytes (UTF-8
// sequences, Windows-1252 letters) must match exactly. `needle` must be lower case already.
bool ContainsFolded(std::string_view text, std::string_view needle) noexcept;

// Finds, on a worker thread, every line whose node text (made or still to be made) holds a
// needle, in file order. The caller asks for the match next to a line at any time and gets it as
// soon as the scan has passed the place where it lies, so the first answers come long before the
// scan ends. When no thread can be had the scan runs within Start. A scan that runs out of memory
// (millions of matches) ends there, and the tally says so.
class OutlineSearch {
public:
    enum class State { Found, Pending, None };
    struct Answer {
        State state = State::None;
        LineIndex line = 0;
    };
    struct Tally {
        std::size_t matches = 0;
        bool complete = false;
        std::size_t ordinal = 0; // 1-based place of the asked line among the matches, 0 if none
        // The scan ran out of memory and ended there: complete, with the matches found before.
        bool cutShort = false;
    };

    explicit OutlineSearch(Threading threading = Threading::OwnThread) : m_worker(threading) {}
    ~OutlineSearch();
    OutlineSearch(const OutlineSearch&) = delete;
    OutlineSearch& operator=(const OutlineSearch&) = delete;

    // Stops the scan running and starts one for `needle` (bytes in the file's encoding; letters
    // in any case) over `lines`, which must stay as they are until Stop() or the next Start().
    // An empty needle matches nothing.
    void Start(const LineStore& lines, std::string_view needle,
               std::shared_ptr<const CommentPlan> plan);
    // Stops the scan and forgets the search: no matches, nothing running.
    void Reset();

    // The first match at `line` or after it (`inclusive`) or after it; past the last match the
    // first one, once the scan is complete.
    Answer Next(LineIndex line, bool inclusive) const;
    // The last match before `line`; before the first match the last one, once complete.
    Answer Previous(LineIndex line) const;
    Tally Count(std::optional<LineIndex> at) const;

private:
    // The answer past the last match or before the first: `match`, once the scan is complete.
    // Called with the lock held.
    Answer WrappedTo(std::vector<std::uint32_t>::const_iterator match) const;
    void Stop();
    void Scan(const LineStore& lines, std::string_view needle, const CommentPlan& plan);
    // Adds what a stretch of the scan found; `scanned` lines are done.
    void Publish(std::vector<std::uint32_t>& found, std::size_t scanned, bool complete);

    Worker m_worker;
    std::atomic<bool> m_stop{false}; // checked by the scan, which then ends early
    mutable std::mutex m_mutex;
    // Guarded by m_mutex: every match of the lines below m_scanned, rising.
    std::vector<std::uint32_t> m_matches;
    std::size_t m_scanned = 0;
    bool m_complete = true;
    bool m_cutShort = false;
};

} // namespace ini
