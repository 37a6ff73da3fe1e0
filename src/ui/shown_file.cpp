#include "ui/shown_file.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace ini {

FileStamp FileStamp::Of(const std::string& path) noexcept {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    return FileStamp{
        true, static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
        static_cast<std::int64_t>(info.st_size),
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

ShownFile::ShownFile(QObject* parent) : QObject(parent) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleTime);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &ShownFile::Noticed);
    // The folder too: a save that renames a new file over this one, or a file that comes back
    // after it was removed, shows only there.
    // A folder changes with whatever else it holds: that does not put the check off again and
    // again, as the file's own writes do until they settle.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_settle.isActive())
            Noticed();
    });
    connect(&m_settle, &QTimer::timeout, this, [this] {
        Watch(); // a file replaced by another is watched again
        // A file back as it was, after it was gone, is read again too: the failed reload's
        // message goes with that read.
        const bool exists = FileStamp::Of(m_path).exists;
        const bool back = m_wasGone && exists;
        m_wasGone = !exists;
        if (back || ChangedSinceShown())
            emit changed();
    });
    // A folder that went tells nothing when it is made again (a checkout switched, a folder
    // restored from a copy): it is looked for now and then, and its return counts as a change.
    m_lookForFolder.setInterval(missingFolderLook);
    connect(&m_lookForFolder, &QTimer::timeout, this, [this] {
        Watch();
        if (!m_lookForFolder.isActive())
            Noticed();
    });
}

void ShownFile::Show(const std::string& path, const FileStamp& stamp) {
    m_path = path;
    m_stamp = stamp;
    m_wasGone = false;
    Watch();
    // A file renamed over this one while it was read for the first time was not watched yet:
    // the read gave the old file's lines.
    if (ChangedSinceShown())
        Noticed();
}

void ShownFile::SetWatching(bool on) {
    m_watching = on;
    Watch();
}

namespace {

// The file, its folder and every folder above: a watch on a folder tells of what happens inside
// it, not of its own rename, which shows only in the folder above.
QStringList PathsToWatch(const QString& file) {
    QStringList paths{file};
    for (QString folder = QFileInfo(file).absolutePath(); !paths.contains(folder);
         folder = QFileInfo(folder).absolutePath())
        paths.append(folder);
    return paths;
}

} // namespace

void ShownFile::Watch() {
    const QString file = QFile::decodeName(QByteArray::fromStdString(m_path));
    const QString folder = QFileInfo(file).absolutePath();
    const QStringList wanted = m_watching && !m_path.empty() ? PathsToWatch(file) : QStringList{};
    // Watched paths that are no longer wanted go; a path that is gone cannot be watched and is
    // tried again at the next change in its folder.
    QStringList stale = m_watcher.files() + m_watcher.directories();
    stale.removeIf([&](const QString& watched) { return wanted.contains(watched); });
    if (!stale.isEmpty())
        m_watcher.removePaths(stale);
    for (const QString& path : wanted) {
        const FileStamp now = FileStamp::Of(QFile::encodeName(path).toStdString());
        const bool watched =
            m_watcher.files().contains(path) || m_watcher.directories().contains(path);
        if (watched && m_watched.value(path).SameFileAs(now))
            continue;
        // A watch on what was moved away from the path, and maybe changes still, goes.
        if (watched)
            m_watcher.removePath(path);
        if (now.exists && m_watcher.addPath(path))
            m_watched.insert(path, now);
    }
    if (!wanted.isEmpty() && !m_watcher.directories().contains(folder))
        m_lookForFolder.start();
    else
        m_lookForFolder.stop();
}

void ShownFile::Noticed() {
    if (m_watching)
        m_settle.start();
}

} // namespace ini
