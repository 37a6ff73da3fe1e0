#pragma once

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <string>

namespace ini {

// What a file was at one moment: which file a path named, its size and when it was last written.
// Two stamps differ when the file was written or replaced in between.
struct FileStamp {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t writtenNs = 0;

    static FileStamp Of(const std::string& path) noexcept;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
    // Whether both name one file that is there, written since or not.
    bool SameFileAs(const FileStamp& other) const noexcept {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
};

// The file the outline shows, and whether it changed since it was read. While watching, writes
// to it, an editor's save that renames a new file over it, and its removal raise changed() once
// the writes have settled: an editor that writes a file in several steps causes one reload. So
// do the file's return with its folder, after the folder itself was removed, and a folder above
// it renamed or replaced by another.
class ShownFile : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds settleTime{300};
    // How often the file's folder is looked for while it is not there.
    static constexpr std::chrono::milliseconds missingFolderLook{500};

    explicit ShownFile(QObject* parent = nullptr);

    // The outline now shows `path`, read as `stamp` says (taken before the read began, so a
    // write during the read counts as a change).
    void Show(const std::string& path, const FileStamp& stamp);
    const std::string& Path() const noexcept { return m_path; }
    bool Shows(const std::string& path) const noexcept { return !m_path.empty() && path == m_path; }
    // Whether the file is no longer what the outline was made of.
    bool ChangedSinceShown() const noexcept {
        return !m_path.empty() && FileStamp::Of(m_path) != m_stamp;
    }
    void SetWatching(bool on);

signals:
    void changed();

private:
    void Watch();
    void Noticed();

    QFileSystemWatcher m_watcher;
    // What each watched path named when its watch began: a watch follows that file or folder,
    // also once it is moved away from the path.
    QHash<QString, FileStamp> m_watched;
    QTimer m_settle;
    QTimer m_lookForFolder;
    std::string m_path;
    FileStamp m_stamp;
    bool m_wasGone = false; // at the last check since Show
    bool m_watching = true;
};

} // namespace ini
