#pragma once

#include <QComboBox>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace ini {

// What the drive list needs to know of one mounted file system.
struct Volume {
    QString mountPoint;
    QByteArray type;
    bool valid = false;
    bool ready = false;
    qint64 bytesTotal = 0;
    bool isFolder = false; // false for a single file bind-mounted over another
};

using VolumeSource = std::function<QList<Volume>()>;
// The file systems mounted on this machine.
QList<Volume> MountedVolumes();

// The file systems a person browses, each shown by its mount point: the root file system
// always, then every valid, ready, non-empty volume mounted on a folder, except memory-backed
// and image file systems (tmpfs, devtmpfs, ramfs, squashfs). "/" comes first, the rest by name.
QStringList BrowsableMountPoints(const QList<Volume>& volumes);

// The mount point among `mountPoints` that holds `path`: the longest one that is `path` itself
// or one of its ancestors. Empty when none holds it.
QString MountHolding(const QStringList& mountPoints, const QString& path);

// The drop-down list of file systems. The selection is set from a path (the file system that
// holds it) and read back as a mount point, which the folder list accepts as a path. Every
// change of the selection, by the user or by the program, raises driveChanged(), nested inside
// the call that made it. The list is read again each time it drops down, so a medium plugged
// in later shows up.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    // `volumes` tells what is mounted (tests pass their own); empty: MountedVolumes().
    explicit DriveList(QWidget* parent = nullptr, VolumeSource volumes = {});

    // Selects the file system that holds `path`; false when none does. Raises driveChanged()
    // when the selection changes.
    bool SetDriveFor(const QString& path);
    // The folder list shows `folder`: the selection follows it without a change notification,
    // and the folder is remembered as that file system's current folder.
    void NoteFolderShown(const QString& folder);
    // Where to go on the selected file system: the folder last shown there, else its mount
    // point.
    QString FolderOnDrive() const;

signals:
    void driveChanged();

protected:
    void showPopup() override;

private:
    void Refresh();
    void Select(const QString& mountPoint);
    void UserPicked(int row);

    VolumeSource m_volumes;
    QStringList m_mountPoints;
    QString m_drive;
    QHash<QString, QString> m_lastFolder;
};

} // namespace ini
