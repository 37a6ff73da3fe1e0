#include "parse/block_stacks.h"

#include <algorithm>
#include <cstring>

namespace ini {

void BlockStacks::UpdateOpenBlocks(const Classification& line, NodeKey key) {
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
    std::size_t wordLength = content.size();
    if (const void* space = std::memchr(content.data(), ' ', content.size()))
        wordLength = static_cast<std::size_t>(static_cast<const char*>(space) - content.data());

    // A word longer than every known name can neither open a block nor be "end".
    char lower[64];
    if (wordLength > std::max<std::size_t>(keywords.LongestName(), 3) || wordLength > sizeof lower)
        return {};
    for (std::size_t i = 0; i < wordLength; ++i)
        lower[i] = ToLowerAscii(content[i]);
    const std::string_view word(lower, wordLength);

    if (word == "end")
        return {LineClass::End, "end", noBlockOpen};
    if (const PathNode path = keywords.FindChild(stacks.TopPath(), word); path != noBlockOpen)
        return {LineClass::Opener, keywords.NameOf(path), path};
    return {};
}

} // namespace ini
