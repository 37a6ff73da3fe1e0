#include "parse/block_stacks.h"

#include "parse/line_splitter.h"

namespace ini {

Classification ClassifyLine(std::string_view content, const BlockStacks& stacks,
                            const Keywords& keywords) noexcept {
    return ClassifyFirstWord(FirstWordOf(content), stacks, keywords);
}

} // namespace ini
