#include "outline/walk/outline_builder.h"

#include "outline/walk/walk_to_sink.h"
#include "parse/line_walk.h"
#include "parse/worker.h"

#include <chrono>
#include <new>

namespace ini {

namespace {

// Sets a flag for as long as it lives.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

WalkResult WithStatus(WalkStatus status) {
    WalkResult result;
    result.status = status;
    return result;
}

WalkResult Failed(Failure failure) {
    WalkResult result = WithStatus(WalkStatus::Failed);
    result.error = std::move(failure);
    return result;
}

bool Read(const std::atomic<bool>* flag) noexcept {
    return flag != nullptr && flag->load(std::memory_order_relaxed);
}

// The load's sink: a root node for every line met while no block is open, except ends, and
// the structure checks.
struct LoadSink {
    OutlineNodes& roots;
    StructureChecks& checks;
    const std::atomic<bool>* stop;

    void Line(const WalkedLine& line) {
        if (line.lineClass != LineClass::End && line.stacks.Empty())
            roots.AddRoot(NodeKey{line.index}, line.text.showComments,
                          line.lineClass == LineClass::Opener);
        checks.LineThatStays(line);
    }
    bool Stopped() const noexcept { return Read(stop); }
    void LinesWithOtherBlanks(std::optional<std::span<const char* const>> starts) {
        checks.LinesWithOtherBlanks(starts);
    }
    void TextStarts(std::string_view bytes) { checks.TextStarts(bytes); }
};

void Count(WalkResult& result, AddResult added) {
    if (added == AddResult::Added)
        ++result.nodesAdded;
    else
        ++result.addsRefused;
}

} // namespace

Result<TopLevel> ReadTopLevel(FileReader file, const Keywords& keywords,
                              const std::atomic<bool>* showComments, const std::atomic<bool>* stop,
                              Threading threading) {
    OutlineNodes roots;
    StructureChecks checks(keywords, StructureChecks::Openers::LookedUp);
    LoadSink sink{roots, checks, stop};
    WalkToSink walk(
        keywords, [showComments] { return Read(showComments); }, sink);
    try {
        checks.ExpectBytes(file.Size());
        Result<LineStore> lines = LineStore::ReadFile(std::move(file), walk, threading);
        if (!lines.ok())
            return lines.failure();
        checks.End(walk.Stacks());
        checks.Finish([&](LineIndex line) { return lines.value().Line(line); });
        return TopLevel{std::move(lines).value(), std::move(roots), checks.TakeProblems(),
                        checks.Uncounted()};
    } catch (const std::bad_alloc&) {
        return NotEnoughMemory("show the outline of this file");
    }
}

WalkResult FileLoader::LoadFile(const std::string& path, LineStore& store, OutlineTree& tree,
                                const Keywords& keywords, const WalkHooks& hooks) {
    if (m_loading)
        return WithStatus(WalkStatus::Busy);
    const FlagScope loading(m_loading);
    std::atomic<bool> stop{false};
    std::optional<Result<TopLevel>> read;
    Worker worker(m_threading);
    // Opened on the worker too: a file whose size reads as 0 is read to its end at open.
    worker.Run([&] {
        Result<FileReader> file = FileReader::Open(path);
        if (!file.ok())
            read.emplace(file.failure());
        else
            read.emplace(ReadTopLevel(std::move(file).value(), keywords, hooks.showComments, &stop,
                                      m_threading));
    });
    // The caller's events run while the worker reads, at least once: a stop asked for then wins
    // even over a read that has just finished. The worker sees a stop within a line.
    do {
        if (!hooks.letEventsRun())
            stop.store(true, std::memory_order_relaxed);
    } while (!stop.load(std::memory_order_relaxed) &&
             !worker.WaitFor(std::chrono::milliseconds(1)));
    worker.Wait();
    if (stop.load())
        return WithStatus(WalkStatus::Stopped);
    if (!read->ok())
        return Failed(read->failure());
    TopLevel& top = read->value();
    WalkResult result;
    result.nodesAdded = top.roots.RootCount();
    result.problems = std::move(top.problems);
    result.problemsNotKept = top.problemsNotKept;
    if (hooks.beforeReplace)
        hooks.beforeReplace();
    store = std::move(top.lines);
    tree.Replace(std::move(top.roots));
    return result;
}

WalkResult ClickNode(NodeKey clicked, const LineStore& store, OutlineTree& tree,
                     const Keywords& keywords, const WalkHooks& hooks) {
    if (store.Empty())
        return WithStatus(WalkStatus::Nothing);
    // Asked first: it settles most roots of a flat file with one lookup.
    if (tree.FillsNothing(clicked))
        return WithStatus(WalkStatus::Done);
    if (!tree.Contains(clicked) || tree.ChildCount(clicked) > 0 || tree.Parent(clicked))
        return WithStatus(WalkStatus::Nothing);
    const NodeKey end = tree.NextSibling(clicked).value_or(NodeKey{store.Count() - 1});
    return BuildSubtree(clicked, end, store, tree, keywords, hooks);
}

WalkResult BuildSubtree(NodeKey start, NodeKey end, const LineStore& store, OutlineTree& tree,
                        const Keywords& keywords, const WalkHooks& hooks) {
    WalkResult result;
    try {
        const WalkOutcome outcome = WalkLines(
            store, start.line, end.line, keywords, [&] { return Read(hooks.showComments); },
            [&](const WalkedLine& line) {
                if (line.lineClass != LineClass::End && !line.stacks.Empty())
                    Count(result, tree.AddChild(line.stacks.OpenKeys().back(), NodeKey{line.index},
                                                line.text));
            },
            [&] { return hooks.letEventsRun(); });
        if (outcome == WalkOutcome::Stopped)
            result.status = WalkStatus::Stopped;
        return result;
    } catch (const std::bad_alloc&) {
        // A block cut short would pass for the whole of it; its nodes' room is given back too.
        tree.DropChildren(start);
        return Failed(NotEnoughMemory("fill this block"));
    }
}

} // namespace ini
