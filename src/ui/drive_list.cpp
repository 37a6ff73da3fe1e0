#include "ui/drive_list.h"

#include "ui/live_folder.h"
#include "ui/path_text.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStorageInfo>

#include <algorithm>
#include <cstdlib>

namespace ini {

namespace {

const QString root = QStringLiteral("/");

bool IsHiddenType(const QByteArray& type) {
    static const QList<QByteArray> hidden = {"tmpfs", "devtmpfs", "ramfs", "squashfs"};
    return hidden.contains(type);
}

// A path with symbolic links resolved where it exists, so it is matched against the file
// system it really lives on.
QString RealPath(const QString& path) {
    char* real = realpath(PathFromText(path).c_str(), nullptr);
    if (real == nullptr)
        return QDir::cleanPath(path);
    const QString text = TextFromPath(real);
    std::free(real);
    return text;
}

} // namespace

QList<Volume> MountedVolumes() {
    QList<Volume> volumes;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        volumes.append(Volume{info.rootPath(), info.fileSystemType(), info.isValid(),
                              info.isReady(), info.bytesTotal(),
                              QFileInfo(info.rootPath()).isDir()});
    }
    return volumes;
}

QStringList BrowsableMountPoints(const QList<Volume>& volumes) {
    QStringList points{root};
    for (const Volume& v : volumes) {
        if (v.mountPoint == root || !v.valid || !v.ready || v.bytesTotal <= 0 || !v.isFolder ||
            IsHiddenType(v.type) || points.contains(v.mountPoint))
            continue;
        points.append(v.mountPoint);
    }
    std::sort(points.begin() + 1, points.end());
    return points;
}

QString MountHolding(const QStringList& mountPoints, const QString& path) {
    const QString clean = QDir::cleanPath(path);
    QString best;
    for (const QString& point : mountPoints) {
        const bool holds =
            point == root || clean == point || clean.startsWith(point + QLatin1Char('/'));
        if (holds && point.size() > best.size())
            best = point;
    }
    return best;
}

DriveList::DriveList(QWidget* parent, VolumeSource volumes)
    : QComboBox(parent), m_volumes(volumes ? std::move(volumes) : MountedVolumes) {
    Refresh();
    Select(MountHolding(m_mountPoints, RealPath(CurrentFolderText())));
    connect(this, &QComboBox::activated, this, &DriveList::UserPicked);
}

void DriveList::Refresh() {
    const QSignalBlocker quiet(this);
    m_mountPoints = BrowsableMountPoints(m_volumes());
    // The file system the folder list is on stays listed while its folder is shown.
    if (!m_drive.isEmpty() && !m_mountPoints.contains(m_drive))
        m_mountPoints.append(m_drive);
    clear();
    addItems(m_mountPoints);
    setCurrentIndex(m_mountPoints.indexOf(m_drive));
}

void DriveList::Select(const QString& mountPoint) {
    const QSignalBlocker quiet(this);
    m_drive = mountPoint;
    setCurrentIndex(m_mountPoints.indexOf(mountPoint));
}

void DriveList::showPopup() {
    Refresh();
    QComboBox::showPopup();
}

void DriveList::UserPicked(int row) {
    const QString picked = itemText(row);
    if (picked == m_drive)
        return;
    m_drive = picked;
    emit driveChanged();
}

bool DriveList::SetDriveFor(const QString& path) {
    const QString mount = MountHolding(m_mountPoints, RealPath(path));
    if (mount.isEmpty())
        return false;
    if (mount != m_drive) {
        Select(mount);
        emit driveChanged();
    }
    return true;
}

void DriveList::NoteFolderShown(const QString& folder) {
    const QString mount = MountHolding(m_mountPoints, RealPath(folder));
    if (mount.isEmpty())
        return;
    m_lastFolder.insert(mount, folder);
    if (mount != m_drive)
        Select(mount);
}

QString DriveList::FolderOnDrive() const {
    const QString last = m_lastFolder.value(m_drive);
    return !last.isEmpty() && CanList(PathFromText(last)) ? last : m_drive;
}

} // namespace ini
