#include "outline/outline_builder.h"

#include "parse/line_walk.h"

#include <new>

namespace ini {

namespace {

// Clears the loading flag on every way out of a load.
class LoadingFlag {
public:
    explicit LoadingFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~LoadingFlag() { m_flag = false; }
    LoadingFlag(const LoadingFlag&) = delete;
    LoadingFlag& operator=(const LoadingFlag&) = delete;

private:
    bool& m_flag;
};

WalkResult WithStatus(WalkStatus status) {
    WalkResult result;
    result.status = status;
    return result;
}

void Count(WalkResult& result, AddResult added) {
    if (added == AddResult::Added)
        ++result.nodesAdded;
    else
        ++result.addsRefused;
}

// Runs one walk over [first, last] with the given node step and turns its outcome into a result.
template <typename NodeStep>
WalkResult Walk(const LineStore& store, LineIndex first, LineIndex last, const Keywords& keywords,
                const WalkHooks& hooks, NodeStep&& step) {
    WalkResult result;
    const WalkOutcome outcome = WalkLines(
        store, first, last, keywords, [&] { return hooks.showComments(); },
        [&](const WalkedLine& line) { step(line, result); }, [&] { return hooks.letEventsRun(); });
    if (outcome == WalkOutcome::Stopped)
        result.status = WalkStatus::Stopped;
    return result;
}

} // namespace

WalkResult FileLoader::LoadFile(const std::string& path, LineStore& store, OutlineTree& tree,
                                const Keywords& keywords, const WalkHooks& hooks) {
    if (m_loading)
        return WithStatus(WalkStatus::Busy);
    auto read = LineStore::ReadFile(path, hooks.letEventsRun);
    if (auto* error = std::get_if<LoadError>(&read))
        return WalkResult{WalkStatus::Failed, std::move(*error)};
    WalkResult result =
        LoadLines(std::move(std::get<LineStore>(read)), store, tree, keywords, hooks);
    if (result.error)
        result.error->path = path;
    return result;
}

WalkResult FileLoader::LoadLines(LineStore lines, LineStore& store, OutlineTree& tree,
                                 const Keywords& keywords, const WalkHooks& hooks) {
    if (m_loading)
        return WithStatus(WalkStatus::Busy);
    const LoadingFlag loading(m_loading);
    tree.RemoveAll();
    store = std::move(lines);
    if (store.Empty())
        return WalkResult{};
    tree.ReserveLines(store.Count());
    try {
        return Walk(store, 0, store.Count() - 1, keywords, hooks,
                    [&](const WalkedLine& line, WalkResult& result) {
                        if (line.lineClass != LineClass::End && line.stacks.Empty())
                            Count(result, tree.AddRoot(NodeKey{line.index}, line.text));
                    });
    } catch (const std::bad_alloc&) {
        return WalkResult{WalkStatus::Failed,
                          LoadError{"", "not enough memory for the outline of this file"}};
    }
}

WalkResult ClickNode(NodeKey clicked, const LineStore& store, OutlineTree& tree,
                     const Keywords& keywords, const WalkHooks& hooks) {
    if (!tree.Contains(clicked) || tree.ChildCount(clicked) > 0 || tree.Parent(clicked))
        return WithStatus(WalkStatus::Nothing);
    if (store.Empty())
        return WithStatus(WalkStatus::Nothing);
    const NodeKey end = tree.NextSibling(clicked).value_or(NodeKey{store.Count() - 1});
    return BuildSubtree(clicked, end, store, tree, keywords, hooks);
}

WalkResult BuildSubtree(NodeKey start, NodeKey end, const LineStore& store, OutlineTree& tree,
                        const Keywords& keywords, const WalkHooks& hooks) {
    try {
        return Walk(store, start.line, end.line, keywords, hooks,
                    [&](const WalkedLine& line, WalkResult& result) {
                        if (line.lineClass != LineClass::End && !line.stacks.Empty())
                            Count(result, tree.AddChild(line.stacks.OpenKeys().back(),
                                                        NodeKey{line.index}, line.text));
                    });
    } catch (const std::bad_alloc&) {
        return WalkResult{WalkStatus::Failed, LoadError{"", "not enough memory for this block"}};
    }
}

} // namespace ini
