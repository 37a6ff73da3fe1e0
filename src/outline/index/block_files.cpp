#include "outline/index/block_files.h"

#include "parse/keywords.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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
void ListFolder(const std::string& folder, BlockFiles& found, FilesSeen* seen,
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
            ListFolder(prefix + name, found, seen, onFolder);
        } else if (seen == nullptr || seen->FirstTimeIn(folder, name)) {
            found.files.push_back(prefix + name);
        }
    }
    if (error != 0)
        found.failures.push_back(CannotList(folder, error));
}

// Where `path` stands once every link in it is followed; the path itself when that cannot be
// told.
std::string Resolved(const std::string& path) {
    char* const resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return path;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

} // namespace

bool FilesSeen::FirstTime(const std::string& path) {
    return m_seen.insert(Resolved(path)).second;
}

bool FilesSeen::FirstTimeIn(const std::string& folder, std::string_view name) {
    if (folder != m_folder || m_resolvedFolder.empty()) {
        m_folder = folder;
        m_resolvedFolder = Resolved(folder);
    }
    std::string path = m_resolvedFolder;
    if (!path.ends_with('/'))
        path += '/';
    return m_seen.insert(path.append(name)).second;
}

bool IsBlockFileName(std::string_view name) noexcept {
    constexpr std::string_view suffix = ".ini";
    if (name.size() < suffix.size())
        return false;
    const std::string_view end = name.substr(name.size() - suffix.size());
    return std::equal(end.begin(), end.end(), suffix.begin(),
                      [](char a, char b) { return ToLowerAscii(a) == b; });
}

BlockFiles ListBlockFiles(const std::vector<std::string>& paths,
                          const std::function<void(const std::string&)>& onFolder,
                          FilesSeen* seen) {
    BlockFiles found;
    // One folder reaches each file once, as links inside are not followed.
    FilesSeen ownSeen;
    if (seen == nullptr && paths.size() > 1)
        seen = &ownSeen;
    for (const std::string& path : paths) {
        // A link given as the path is followed.
        struct stat info {};
        if (!path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            ListFolder(path, found, seen, onFolder);
        else if (seen == nullptr || seen->FirstTime(path))
            found.files.push_back(path);
    }
    // A single folder is listed in order already.
    if (!std::is_sorted(found.files.begin(), found.files.end()))
        std::sort(found.files.begin(), found.files.end());
    found.files.erase(std::unique(found.files.begin(), found.files.end()), found.files.end());
    return found;
}

} // namespace ini
