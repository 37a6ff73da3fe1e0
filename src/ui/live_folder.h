#pragma once

#include "parse/worker.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace ini {

// What a list wants of a folder. Hidden names (a leading ".") are never wanted. A link counts as
// what it points to, so a link to a FIFO, a device or nothing is neither a folder nor a file.
enum class Wanted {
    Folders,
    IniFiles, // regular files whose name ends in ".ini" in any letter case
};

// One entry as a list shows it.
struct FolderEntry {
    QString name;    // the name's bytes as text (see path_text.h)
    QString sortKey; // the name case-folded: lists sort by name ignoring case
};

// Order of the lists: by sort key, then by name so that names differing only in case keep a
// fixed order.
bool SortsBefore(const FolderEntry& a, const FolderEntry& b);
FolderEntry MakeEntry(QString name);

// The wanted entries of a folder as known at one moment, sorted by SortsBefore. Never changed
// once made, so the window can show one while the next is made.
using FolderEntries = std::vector<FolderEntry>;
using FolderSnapshot = std::shared_ptr<const FolderEntries>;

// True when `folder` (bytes) is a folder that can be listed and entered.
bool CanList(const std::string& folder);

// Lists one folder on a thread of its own and keeps following its changes, so neither a large
// folder nor a slow disk holds up the window. The thread keeps the entries sorted and sends each
// new state whole as changed(), on the owner's thread, at most about every 20 ms and never
// while the owner has not yet taken the one before: showing a state costs the window next to
// nothing however large the folder. When no thread can be had, the same work runs on the
// owner's thread in short rounds every 20 ms.
class LiveFolder : public QObject {
    Q_OBJECT

public:
    explicit LiveFolder(Wanted wanted, QObject* parent = nullptr,
                        Threading threading = Threading::OwnThread);
    ~LiveFolder() override;

    // Starts over on `folder` (bytes). News of the folder listed before is not delivered.
    void Open(std::string folder);
    // The first listing of the open folder is complete (changes may follow).
    bool Listed() const noexcept { return m_listed; }
    // Takes back a state that is no longer shown, so that its memory is freed on the listing
    // thread rather than the window's.
    void Release(FolderSnapshot shown);

signals:
    void changed(const ini::FolderSnapshot& entries);

private:
    class Lister;
    void Deliver(FolderSnapshot entries, bool listed);

    std::unique_ptr<Lister> m_lister;
    bool m_listed = false;
};

} // namespace ini
