#pragma once

#include "outline/index/definition_match.h"
#include "parse/definition_counts.h"
#include "ui/folder_index.h"
#include "ui/use_search.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace ini {

// A place in the folder the user may go to: a file and a line in it (0-based).
struct FolderPlace {
    std::string file;
    LineIndex line = 0;
};

// A window over the folder: what it covers at the top (with a button to choose another
// folder), a list below; Enter or a double-click on a row goes to its place.
class FolderListDialog : public QDialog {
    Q_OBJECT

public:
    std::function<void(const FolderPlace&)> goTo;
    std::function<void()> changeFolder;

protected:
    FolderListDialog(const QString& title, bool withFilter, QWidget* parent);
    void SetHeader(const QString& text);
    // Rows and their places, replacing what was shown (or added after it).
    void ShowRows(const QStringList& rows, std::vector<FolderPlace> places, bool append = false);
    // The file's path as the list shows it: from the folder down.
    QString Shown(const std::string& folder, std::string_view file) const;
    void keyPressEvent(QKeyEvent* event) override;
    // Called before a row is chosen: rows still to come for what was typed are made first.
    virtual void SettleRows() {}

    QLineEdit* m_filter = nullptr;
    QListWidget* m_list = nullptr;

private:
    void Choose();

    QLabel* m_header = nullptr;
    std::vector<FolderPlace> m_places;
};

// Go to block: every definition of the folder, best matches of what is typed first. A folder of
// millions of definitions is taken in and ranked a slice at a time, so typing never waits on it:
// the rows follow once the text typed is ranked, and Enter waits for that.
class GoToBlockDialog final : public FolderListDialog {
    Q_OBJECT

public:
    explicit GoToBlockDialog(QWidget* parent = nullptr);
    void SetIndex(FolderIndexSnapshot index);
    // Every definition, the typed text cleared; or only those of the given names.
    void ShowAll();
    void ShowOnly(std::vector<std::string> names);

    // Most rows shown at once; the typed text narrows them.
    static constexpr std::size_t mostRows = 500;

signals:
    // The rows for the text typed now are shown.
    void rowsShown();

protected:
    void SettleRows() override;

private:
    // Ranks again for the text typed now.
    void Refill();
    // The list's work for up to `budget`: the index's definitions into the table, then the
    // ranking, then the rows; what is left goes on at the next turn of the event loop.
    void Work(std::chrono::nanoseconds budget);
    bool TableComplete() const noexcept;
    // Takes the next definition of the index into the table (a file without any is passed).
    void TakeNextDefinition();
    void ShowBest();

    FolderIndexSnapshot m_index;
    std::vector<std::string> m_only;
    // Each definition by its place in the index, and how often its type and name are defined.
    struct Entry {
        std::uint32_t file;       // in the index's files
        std::uint32_t definition; // in the file's list
    };
    const FileDefinitions& FileOf(const Entry& entry) const { return *m_index->files[entry.file]; }
    IndexedDefinition DefinitionOf(std::size_t entry) const {
        return FileOf(m_entries[entry]).Definitions()[m_entries[entry].definition];
    }
    std::pair<std::string_view, std::string_view> WordsOf(std::size_t entry) const {
        const IndexedDefinition definition = DefinitionOf(entry);
        return {definition.Type(), definition.Name()};
    }
    std::vector<Entry> m_entries;
    DefinitionCounts m_timesDefined{[this](std::size_t entry) { return WordsOf(entry); }};
    // The table holds the definitions of the files before this one, and this many of its own.
    Entry m_taken{0, 0};
    // The ranking under way, over the entries before m_ranked.
    std::optional<BestMatches> m_ranking;
    std::size_t m_ranked = 0;
    QTimer m_work;
    QElapsedTimer m_sinceRefill;
};

// The uses of one name across the folder, listed as they are found.
class UsesDialog final : public FolderListDialog {
    Q_OBJECT

public:
    UsesDialog(UseSearch& search, QWidget* parent = nullptr);
    // Starts listing a search that has just been started over `folder`.
    void Follow(const std::string& folder);

private:
    void TakeFound();
    void ShowCount();

    UseSearch& m_search;
    std::string m_folder;
    std::size_t m_count = 0;
    std::size_t m_unreadable = 0;
    QPushButton* m_stop = nullptr;
};

} // namespace ini
