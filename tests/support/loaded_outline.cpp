#include "support/loaded_outline.h"

#include <atomic>

namespace ini::test {

LoadedOutline LoadOutline(const std::string& path, const Keywords& keywords,
                          const LoadOptions& options) {
    LoadedOutline loaded;
    const std::atomic<bool> comments{options.comments};
    WalkHooks hooks;
    hooks.showComments = &comments;
    FileLoader loader;
    loaded.load = loader.LoadFile(path, loaded.lines, loaded.outline, keywords, hooks);
    const OutlineNodes& nodes = loaded.outline.Nodes();
    if (!options.clickEveryRoot)
        return loaded;
    OutlineNodes::Cursor cursor; // each root's line a step from the one before
    for (std::size_t row = 0; row < nodes.RootCount(); ++row) {
        const NodeKey root = nodes.KeyOf(OutlineNodes::RootAt(row), cursor);
        WalkResult clicked = ClickNode(root, loaded.lines, loaded.outline, keywords, hooks);
        loaded.clicksRefused += clicked.addsRefused;
        if (clicked.error && !loaded.clickError)
            loaded.clickError = std::move(clicked.error);
    }
    return loaded;
}

} // namespace ini::test
