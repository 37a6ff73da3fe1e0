#pragma once

#include "parse/result.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ini {

// Tells whether a file is met for the first time, by where it stands once every link in its path
// is followed: a folder given twice in other spellings or through a link, or one inside
// another, reaches files met already, and a block read twice would be a duplicate of itself. A
// hard link is a file of its own, as for grep -r. A path that cannot be resolved stands for
// itself: whoever reads it says why.
class FilesSeen {
public:
    // A file given as it is, itself perhaps a link.
    bool FirstTime(const std::string& path);
    // A file (not a link) found in the listing of `folder`: the folder is resolved once for all
    // of its files.
    bool FirstTimeIn(const std::string& folder, std::string_view name);

private:
    std::unordered_set<std::string> m_seen;
    std::string m_folder;         // the last folder resolved
    std::string m_resolvedFolder; // and where it stands
};

// The block files a list of paths names, as a folder index wants them.
struct BlockFiles {
    // In byte order of the whole path (as LC_ALL=C sort orders), each path once.
    std::vector<std::string> files;
    // A folder that could not be listed, and why; the rest is listed all the same.
    std::vector<Failure> failures;
};

// Whether `name` ends in ".ini", in any letter case.
bool IsBlockFileName(std::string_view name) noexcept;

// The files of `paths`: a path that is a folder (a link to one included) stands for every file
// whose name ends in ".ini" in it and in every folder below it, joined to the path with "/";
// links found inside are not followed, so a loop of links costs nothing. Any other path is a
// file whatever its name, and whether it can be read is for the one who reads it to say. A file
// that several of the paths reach is listed once, under the first of them; so is one that
// `seen` (when given: it goes on from one call to the next) met already.
// `onFolder`, when given, gets each folder listed before its entries are read (to watch it for
// changes, say, so that nothing made while the listing runs is missed).
BlockFiles ListBlockFiles(const std::vector<std::string>& paths,
                          const std::function<void(const std::string&)>& onFolder = {},
                          FilesSeen* seen = nullptr);

} // namespace ini
