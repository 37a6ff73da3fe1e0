#pragma once

#include "parse/result.h"

#include <QString>

#include <optional>

namespace ini {

// The file path remembered between runs: one string in the per-user settings store, group
// "options", key "lastfile". The store is <config>/<name>/<name>.conf, where <config> is
// $XDG_CONFIG_HOME or else $HOME/.config and <name> the application's name; without either
// folder there is no store and nothing is remembered. An absent value reads as the empty string,
// which means nothing is remembered. A path that is not valid UTF-8 is kept as its bytes.
class RememberedFile {
public:
    // `settingsFile` replaces the per-user store with that file (tests use a temporary one).
    explicit RememberedFile(QString settingsFile = {});

    QString Read() const;
    // Stores `path` unaltered, keeping every other value of the store. Fails when it was not
    // stored: no store, or a store that cannot be read or is not a settings file, which is then
    // left as it is.
    Result<void> Write(const QString& path) const;

    // The user's own editor command in the same store (group "options", key "editor"), such as
    // "kate --line %l %f"; empty when none is set and the stand-in editor is used.
    QString EditorCommand() const;
    // The folder the folder-wide views cover (group "options", key "folder"); empty when none
    // was chosen. Kept and stored as Read and Write keep the file path.
    QString Folder() const;
    Result<void> WriteFolder(const QString& folder) const;

    // Whether the window reloads the file it shows when the file changes (group "options", key
    // "autoreload"); on unless set to false.
    bool AutoReload() const;

private:
    QString ReadPath(const QString& key) const;
    Result<void> WritePath(const QString& key, const QString& path) const;

    QString m_settingsFile;
};

// The folder the lists should show for a remembered path: the path up to its last "/",
// resolved against the current folder, or its nearest ancestor that can be listed when that
// folder is gone. Nothing when the path holds no "/" (such as a path written with "\" elsewhere).
std::optional<QString> FolderToShow(const QString& remembered);

} // namespace ini
