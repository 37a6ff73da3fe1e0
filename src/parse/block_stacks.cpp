#include "parse/block_stacks.h"

#include "parse/line_splitter.h"

#include <cstring>

namespace ini {

void BlockStacks::PushOrPop(const Classification& line, NodeKey key) {
    switch (line.lineClass) {
    case LineClass::Opener:
        m_keys.push_back(key);
        m_names.push_back(line.firstWord);
        m_paths.push_back(line.path);
        break;
    case LineClass::End:
        if (!m_keys.empty()) {
            m_keys.pop_back();
            m_names.pop_back();
            m_paths.pop_back();
        }
        break;
    case LineClass::Ordinary:
        break;
    }
}

Classification ClassifyLine(std::string_view content, const BlockStacks& stacks,
                            const Keywords& keywords) noexcept {
    return ClassifyFirstWord(FirstWordOf(content), stacks, keywords);
}

Classification FindOpener(std::string_view firstWord, PathNode parent,
                          const Keywords& keywords) noexcept {
    const std::size_t length = firstWord.size();
    char lower[64];
    if (length > sizeof lower)
        return {};
    for (std::size_t i = 0; i < length; ++i)
        lower[i] = ToLowerAscii(firstWord[i]);
    if (const PathNode path = keywords.FindChild(parent, {lower, length}); path != noBlockOpen)
        return {LineClass::Opener, keywords.NameOf(path), path};
    return {};
}

} // namespace ini
