#pragma once

#include "ui/folder_views.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace ini {

// Where the user was before each jump to a place of the folder (a block gone to, a definition,
// a use chosen), so that Back returns there and Forward goes again, as in a web browser: a new
// jump after going back drops the places ahead.
class JumpHistory {
public:
    // A jump leaves `from` for another place.
    void Leave(FolderPlace from);
    // The place to go back to from `here`, which Forward then returns to (when there is a
    // `here`); none when no jump came before.
    std::optional<FolderPlace> Back(std::optional<FolderPlace> here);
    // The place Back left, to go to again from `here`; none when Back was not used since the
    // last jump.
    std::optional<FolderPlace> Forward(std::optional<FolderPlace> here);

    bool CanGoBack() const noexcept { return !m_back.empty(); }
    bool CanGoForward() const noexcept { return !m_forward.empty(); }

    // A day of jumping must not grow without end: the oldest places go first.
    static constexpr std::size_t mostPlaces = 100;

private:
    std::vector<FolderPlace> m_back;    // the latest last
    std::vector<FolderPlace> m_forward; // the next last
};

} // namespace ini
