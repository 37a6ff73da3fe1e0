#include "parse/block_stacks.h"

#include "parse/line_splitter.h"

namespace ini {

Classification ClassifyLine(std::string_view content, const BlockStacks& stacks,
                            const Keywords& keywords) noexcept {
    return ClassifyFirstWord(FirstWordOf(content), stacks, keywords);
}

Classification FindOpener(std::string_view firstWord, PathNode parent,
                          const Keywords& keywords) noexcept {
    if (const PathNode path = keywords.FindChild(parent, firstWord); path != noBlockOpen)
        return {LineClass::Opener, keywords.NameOf(path), path};
    return {};
}

} // namespace ini
