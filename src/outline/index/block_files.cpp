#include "outline/index/block_files.h"

#include "parse/keywords.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace ini {

namespace fs = std::filesystem;

namespace {

Failure CannotList(const fs::path& folder, const std::error_code& error) {
    return Failure{"Cannot list '" + folder.string() + "': " + error.message()};
}

// Adds the block files in `folder` and below to `found`; a folder that cannot be read is
// reported and passed over, its siblings are still listed.
void ListFolder(const fs::path& folder, BlockFiles& found) {
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) {
        found.failures.push_back(CannotList(folder, error));
        return;
    }
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error)
            break;
        const fs::directory_entry& entry = *entries;
        // The entry's own type: a link is neither followed into nor read.
        const fs::file_status status = entry.symlink_status(error);
        if (error || fs::is_symlink(status))
            continue;
        if (fs::is_directory(status))
            ListFolder(entry.path(), found);
        else if (IsBlockFileName(entry.path().filename().native()))
            found.files.push_back(entry.path().native());
    }
    if (error)
        found.failures.push_back(CannotList(folder, error));
}

} // namespace

bool IsBlockFileName(std::string_view name) noexcept {
    constexpr std::string_view suffix = ".ini";
    if (name.size() < suffix.size())
        return false;
    const std::string_view end = name.substr(name.size() - suffix.size());
    return std::equal(end.begin(), end.end(), suffix.begin(),
                      [](char a, char b) { return ToLowerAscii(a) == b; });
}

BlockFiles ListBlockFiles(const std::vector<std::string>& paths) {
    BlockFiles found;
    for (const std::string& path : paths) {
        std::error_code error;
        // A link given as the path is followed.
        if (!path.empty() && fs::is_directory(path, error))
            ListFolder(path, found);
        else
            found.files.push_back(path);
    }
    std::sort(found.files.begin(), found.files.end());
    found.files.erase(std::unique(found.files.begin(), found.files.end()), found.files.end());
    return found;
}

} // namespace ini
