#pragma once

#include "parse/keywords.h"
#include "parse/node_key.h"
#include "parse/result.h"
#include "parse/worker.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// One top-level definition: its type and name as written, one text ("Type Name") that lies in
// its file's `texts`, and its line.
struct IndexedDefinition {
    std::string_view text;  // type, one space, name
    std::uint32_t typeSize; // bytes of the type at the start of text
    LineIndex line;         // 0-based
    std::string_view Type() const noexcept { return text.substr(0, typeSize); }
    std::string_view Name() const noexcept {
        return text.size() > typeSize ? text.substr(typeSize + 1) : std::string_view();
    }
};

// What one file holds, never changed once made: a new read makes a new one.
struct FileDefinitions {
    std::string path;                           // as ListBlockFiles gives it (bytes)
    std::vector<IndexedDefinition> definitions; // in file order
    // The definitions' texts, side by side: one block of memory per file, not one per text.
    std::unique_ptr<char[]> texts;
    // The file could not be read (then it has no definitions); rare, so held apart.
    std::unique_ptr<const Failure> failure;
};

// The index at one moment, never changed once made; copying one is copying pointers.
struct FolderIndexState {
    std::string folder;
    std::vector<std::shared_ptr<const FileDefinitions>> files; // in path byte order; read so far
    std::vector<Failure> folderFailures;                       // folders that could not be listed
    // Folders whose changes are not followed, as the system refused to watch them (its limit of
    // watches reached, say), and the first refusal's reason.
    std::size_t unfollowed = 0;
    std::string unfollowedReason;
    std::size_t filesTotal = 0; // files found; files.size() of them read so far
    bool complete = false;      // the first build is done
};
using FolderIndexSnapshot = std::shared_ptr<const FolderIndexState>;

// The definitions of every block file of a folder tree, gathered on a thread of its own so the
// window never waits, and kept up to date as the folder changes. While the first build runs it
// sends progress at most about every 50 ms, never while the owner has not yet taken the state
// before; once built it follows the tree through inotify and reads again only the files that
// changed, each once its events have settled. Without a thread the same work runs on the
// owner's thread in short rounds.
class FolderIndex : public QObject {
    Q_OBJECT

public:
    explicit FolderIndex(const Keywords& keywords, QObject* parent = nullptr,
                         Threading threading = Threading::OwnThread);
    // Stops the work promptly, even in the middle of a build.
    ~FolderIndex() override;

    // Starts over on `folder` (bytes); an empty one indexes nothing. From here on the snapshot
    // is of this folder: nothing of the one before is delivered.
    void Open(std::string folder);
    const std::string& Folder() const noexcept { return m_folder; }
    // Never null: an empty state before anything was read.
    FolderIndexSnapshot Snapshot() const noexcept { return m_snapshot; }

signals:
    // A new snapshot is there: progress while building, the complete one, a file read again.
    void changed();

private:
    class Indexer;
    void Deliver(FolderIndexSnapshot snapshot);

    std::unique_ptr<Indexer> m_indexer;
    std::string m_folder;
    FolderIndexSnapshot m_snapshot;
};

} // namespace ini
