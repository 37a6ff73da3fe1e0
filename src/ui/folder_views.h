#pragma once

#include "outline/index/definition_match.h"
#include "ui/folder_index.h"
#include "ui/use_search.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
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
    // What the line held when it was listed, when that is known (a use): the file may have
    // changed since, and the line moved. Its whole text, or with `textCut` its start.
    std::optional<std::string> text;
    bool textCut = false;
    // How many lines before it in the file held the same text when it was listed, when that is
    // known (a use): two uses written alike are told apart by their order.
    std::optional<std::size_t> sameTextBefore;
    // How many lines of the file held that text then, when that is known.
    std::optional<std::size_t> sameTextCount;
    // How many lines the file had then, when that is known (a place left for a jump).
    std::optional<std::size_t> linesThen;
};

class LineStore;
// Where `place`'s line is in `lines` now. While as many lines hold its text as then, the one
// with as many of them before it as it had: lines added or removed elsewhere do not move it to
// another block's line written alike. Otherwise, when the file's length then is known, the
// line that holds it nearest to where the file's growth or shrinking moved the line (a block
// added or removed above it); else the line itself while it holds its text (one written alike
// before it was renamed in place), else of lines written alike the one with as many before it
// as it had, else the nearest that holds it; nothing when no line near it does. Blanks around
// the texts do not count.
std::optional<LineIndex> LineNow(const FolderPlace& place, const LineStore& lines);
// Sets `place`'s sameTextBefore, sameTextCount and linesThen from `lines`, which holds its file
// as it is.
void CountSameText(FolderPlace& place, const LineStore& lines);
// A line's text without the spaces and tabs around it, as places compare them.
std::string_view Trimmed(std::string_view text) noexcept;

// The definitions of the folder that a line's content names: whole words of it, as a search for
// uses finds a name, that are not part of a longer such name (on "x = Tank-2", Tank-2 and not
// Tank); the names, then the definitions in folder order. When the content does not `end` there
// (a long line cut inside a word), a name right at its end is not decided and does not count.
struct NamedOnLine {
    std::vector<std::string> names;
    std::vector<FolderPlace> places;
};
NamedOnLine DefinitionsNamedOn(const FolderIndexState& index, std::string_view content,
                               bool ends = true);

// A window over the folder: what it covers at the top (with a button to choose another
// folder), a list below; Enter or a double-click on a row goes to its place.
class FolderListDialog : public QDialog {
    Q_OBJECT

public:
    std::function<void(const FolderPlace&)> goTo;
    std::function<void()> changeFolder;
    // A line shown below what the view covers (why it covers that folder); empty for none.
    void SetNote(const QString& note);
    // Moves to the row after the current one (`forward`) or before it, round the end, and goes
    // to its place, the list shown or not: a list of uses is worked through one by one. A list
    // that may not hold everything there is (EndNote) stops at its ends instead.
    enum class Step { Went, NoRows, AtEnd };
    Step GoToNext(bool forward);
    // Why the list may not hold everything there is, so that going round its end (the last
    // row `forward`, else the first) would pass over the rest; empty when it holds it all.
    virtual QString EndNote(bool /*forward*/) const { return {}; }

protected:
    FolderListDialog(const QString& title, bool withFilter, QWidget* parent);
    void SetHeader(const QString& text);
    // The header's tooltip names what could not be read: the first of `failures`, of `count`.
    void SetFailures(const std::vector<const Failure*>& failures, std::size_t count);
    // How many failures the tooltip names.
    static constexpr std::size_t failuresNamed = 20;
    // Rows and their places, replacing what was shown (or added after it).
    void ShowRows(const QStringList& rows, std::vector<FolderPlace> places, bool append = false);
    // The file's path as the list shows it: from the folder down.
    QString Shown(const std::string& folder, std::string_view file) const;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    static bool IsEnter(const QKeyEvent* event) noexcept;
    // Called before a row is chosen: rows still to come for what was typed are made first.
    virtual void SettleRows() {}
    // Whether rows may still come that no settling makes yet (the folder is being read): an
    // Enter given before any row waits for them.
    virtual bool RowsStillComing() const { return false; }
    // Goes to the chosen row's place, or waits for rows still coming.
    void Choose();
    bool m_chooseOnRows = false; // an Enter waits for rows still coming
    bool m_wentToRow = false;    // a row of this list was gone to (the current row then)
    bool m_handingKeyToList = false;

    QLineEdit* m_filter = nullptr;
    QListWidget* m_list = nullptr;

private:
    void FocusKeys();
    // The place of a row, with how many rows of its file are written alike.
    FolderPlace PlaceAt(int row) const;

    QLabel* m_header = nullptr;
    QString m_headerText;
    QString m_note;
    std::vector<FolderPlace> m_places;
};

// Go to block: every definition of the folder, best matches of what is typed first. A folder of
// millions of definitions is ranked a slice at a time, so typing never waits on it: the rows
// follow once the text typed is ranked, and Enter waits for that.
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
    // While the folder is read or the rows are ranked for what was typed.
    bool RowsStillComing() const override {
        return m_index && (!m_index->complete || m_ranking || m_counted);
    }

private:
    // Ranks again for the text typed now.
    void Refill();
    // The list's work for up to `budget`: the ranking, then the count of how often the best are
    // defined, then the rows; what is left goes on at the next turn of the event loop.
    void Work(std::chrono::nanoseconds budget);
    // Where a pass over the index's definitions stands.
    struct Cursor {
        std::size_t file = 0;
        std::size_t definition = 0;
    };
    // Hands up to `count` definitions from `at` on to `onDefinition(place, definition)` (place:
    // the file's index in the high half, the definition's in the low); false once all are passed.
    template <typename OnDefinition>
    bool Pass(Cursor& at, std::size_t count, OnDefinition&& onDefinition) const;
    IndexedDefinition DefinitionAt(std::uint64_t place) const;
    // The best are known: the pass that counts their twins begins.
    void StartCounting();
    void ShowBest();

    FolderIndexSnapshot m_index;
    std::vector<std::string> m_only;
    // What the rows shown were ranked for.
    std::string m_rowsQuery;
    std::vector<std::string> m_rowsOnly;
    // The ranking under way, and how far it went.
    std::optional<BestMatches> m_ranking;
    Cursor m_ranked;
    // Once ranked: the best, and how often each one's type and name are defined, counted in a
    // pass of its own over every definition (most are passed over by their length: a twin's
    // text is as long). The list keeps nothing per definition of the folder.
    std::vector<std::uint64_t> m_best;
    std::vector<std::size_t> m_timesDefined;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> m_bestByHash;
    std::vector<bool> m_lengths; // of the best's texts
    std::optional<Cursor> m_counted;
    QTimer m_work;
    QElapsedTimer m_sinceRefill;
};

// The uses of one name across the folder, listed as they are found. A search may find thousands
// between two looks: they are listed a slice at a time, so the window never waits on the list.
class UsesDialog final : public FolderListDialog {
    Q_OBJECT

public:
    UsesDialog(UseSearch& search, QWidget* parent = nullptr);
    // Starts listing a search that has just been started over `folder`.
    void Follow(const std::string& folder);
    // Uses found that are not in the list yet.
    std::size_t Unlisted() const noexcept { return m_unlisted.size(); }
    QString EndNote(bool forward) const override;

signals:
    // Every use found so far is in the list.
    void listed();

private:
    void TakeFound();
    // Lists uses found for up to about a slice's time; the rest follow at the next turn.
    void ListSome();
    void ListRows();
    void ShowCount();

    UseSearch& m_search;
    std::string m_folder;
    std::deque<FoundUse> m_unlisted;
    // The texts of the uses listed so far in the file listed last, with how many hold each.
    std::string m_countedFile;
    std::unordered_map<std::string, std::size_t> m_textsListed;
    QTimer m_listMore;
    std::size_t m_count = 0;
    std::size_t m_unreadable = 0;
    std::vector<Failure> m_failures; // the first of them, for the tooltip
    QPushButton* m_stop = nullptr;
};

} // namespace ini
