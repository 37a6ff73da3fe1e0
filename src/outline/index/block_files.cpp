#include "outline/index/block_files.h"

#include "parse/keywords.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <set>
#include <system_error>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace ini {

namespace {

Failure CannotList(const std::string& folder, int error) {
    return Failure{"Cannot list '" + folder + "': " + std::generic_category().message(error)};
}

// Adds the block files in `folder` and below to `found`, in byte order of their paths; a folder
// that cannot be read is reported and passed over, its siblings are still listed. Read through
// the system's own listing: folders of many small files spend much of an index's time here.
void ListFolder(const std::string& folder, BlockFiles& found,
                const std::function<void(const std::string&)>& onFolder) {
    if (onFolder)
        onFolder(folder);
    DIR* const dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        found.failures.push_back(CannotList(folder, errno));
        return;
    }
    // A folder's name ends in '/' here: sorted so, the folders and files of one folder come in
    // the order their whole paths have, so the tree is listed in that order.
    std::vector<std::string> names;
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* const entry = ::readdir(dir);
        if (entry == nullptr) {
            error = errno;
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        // The entry's own type, as the listing gives it: a link is neither followed into nor read.
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat info {};
            if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR)
            names.push_back(std::string(name) + '/');
        else if (type != DT_LNK && IsBlockFileName(name))
            names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    const std::string prefix = folder.ends_with('/') ? folder : folder + '/';
    for (std::string& name : names) {
        if (name.back() == '/') {
            name.pop_back();
            ListFolder(prefix + name, found, onFolder);
        } else {
            found.files.push_back(prefix + name);
        }
    }
    if (error != 0)
        found.failures.push_back(CannotList(folder, error));
}

// The files of one path that no path before it reached (a folder given twice in other
// spellings, one inside another, a link to one), from `from` on: a block read twice would be a
// duplicate of itself. A file that cannot be looked at stays, for its reader to report.
void DropFilesSeenBefore(std::vector<std::string>& files, std::size_t from,
                         std::set<std::pair<dev_t, ino_t>>& seen) {
    std::vector<std::string> kept;
    for (std::size_t i = from; i < files.size(); ++i) {
        struct stat info {};
        if (::stat(files[i].c_str(), &info) != 0 || seen.emplace(info.st_dev, info.st_ino).second)
            kept.push_back(std::move(files[i]));
    }
    files.resize(from);
    std::move(kept.begin(), kept.end(), std::back_inserter(files));
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

BlockFiles ListBlockFiles(const std::vector<std::string>& paths,
                          const std::function<void(const std::string&)>& onFolder) {
    BlockFiles found;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const std::string& path : paths) {
        const std::size_t from = found.files.size();
        // A link given as the path is followed.
        struct stat info {};
        if (!path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            ListFolder(path, found, onFolder);
        else
            found.files.push_back(path);
        // Within one folder every file has one path, as links inside are not followed (a hard
        // link aside, which a mod folder hardly holds: a stat of every file would cost more).
        if (paths.size() > 1)
            DropFilesSeenBefore(found.files, from, seen);
    }
    // A single folder is listed in order already.
    if (!std::is_sorted(found.files.begin(), found.files.end()))
        std::sort(found.files.begin(), found.files.end());
    found.files.erase(std::unique(found.files.begin(), found.files.end()), found.files.end());
    return found;
}

} // namespace ini
