#include "ui/jump_history.h"

#include <utility>

namespace ini {

namespace {

// Takes the latest place of `from`, keeping `here` on `to` for the way back.
std::optional<FolderPlace> Step(std::vector<FolderPlace>& from, std::vector<FolderPlace>& to,
                                std::optional<FolderPlace> here) {
    if (from.empty())
        return std::nullopt;
    FolderPlace place = std::move(from.back());
    from.pop_back();
    if (here)
        to.push_back(std::move(*here));
    return place;
}

} // namespace

void JumpHistory::Leave(FolderPlace from) {
    m_forward.clear();
    if (m_back.size() == mostPlaces)
        m_back.erase(m_back.begin());
    m_back.push_back(std::move(from));
}

std::optional<FolderPlace> JumpHistory::Back(std::optional<FolderPlace> here) {
    return Step(m_back, m_forward, std::move(here));
}

std::optional<FolderPlace> JumpHistory::Forward(std::optional<FolderPlace> here) {
    return Step(m_forward, m_back, std::move(here));
}

} // namespace ini
