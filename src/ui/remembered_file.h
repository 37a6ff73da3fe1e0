#pragma once

#include <QString>

#include <optional>

namespace ini {

// The file path remembered between runs: one string in the per-user settings store, group
// "options", key "lastfile". The store is addressed by the application's name, used as the
// organisation's name too, so it lands in <config>/<name>/<name>.conf. An absent value reads
// as the empty string, which means nothing is remembered.
class RememberedFile {
public:
    // `settingsFile` replaces the per-user store with that file (tests use a temporary one).
    explicit RememberedFile(QString settingsFile = {});

    QString Read() const;
    // Stores `path` unaltered. Gives the reason when the store could not be written.
    std::optional<QString> Write(const QString& path) const;

    // The user's own editor command in the same store (group "options", key "editor"), such as
    // "kate --line %l %f"; empty when none is set and the stand-in editor is used.
    QString EditorCommand() const;

private:
    QString m_settingsFile;
};

// The folder the lists should show for a remembered path: the path up to its last "/",
// resolved against the current folder, or its nearest existing ancestor when that folder is
// gone. Nothing when the path holds no "/" (such as a path written with "\" elsewhere).
std::optional<QString> FolderToShow(const QString& remembered);

} // namespace ini
