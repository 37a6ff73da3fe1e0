#pragma once

#include "outline/nodes/node_path.h"
#include "outline/read/line_store.h"
#include "outline/walk/outline_builder.h"
#include "parse/keywords.h"
#include "ui/drive_list.h"
#include "ui/event_pacer.h"
#include "ui/jump_history.h"
#include "ui/remembered_file.h"
#include "ui/root_hashing.h"
#include "ui/shown_file.h"
#include "ui/view_state.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace ini {

class Desktop;
class FileList;
class FindBar;
class FolderIndex;
class FolderList;
class GoToBlockDialog;
class TreeNote;
class UseSearch;
class UsesDialog;
struct FolderIndexState;
struct FolderPlace;
struct NamedOnLine;
class OutlineModel;

// What the window takes from outside; tests replace each part.
struct FormServices {
    // The desktop the editor button works on, made on first use.
    std::function<std::unique_ptr<Desktop>()> makeDesktop;
    // Empty: the per-user settings store.
    QString settingsFile;
    // Shows a problem the user should know about; by default a warning box.
    std::function<void(QWidget* parent, const QString& title, const QString& text)> showWarning;
    // Shows a problem nobody asked about (a reload on its own failed) without holding up the
    // window; by default a warning box that blocks nothing. The window closes what it gives back
    // once the problem is gone.
    std::function<QPointer<QWidget>(QWidget* parent, const QString& title, const QString& text)>
        showNotice;
    // How often pending events run during a walk.
    std::chrono::milliseconds eventInterval{16};
    // What the drive list offers; empty: the file systems mounted here.
    VolumeSource volumes;
};

// The viewer's only window. It owns the run's state (keyword table, line store, loader and
// outline) and wires the controls to the handlers; the work itself is done in outline/ and by
// the small list widgets.
//
// Walks let events run, so handlers can run nested inside a load or a subtree build. While a
// walk runs, node clicks and further loads are turned away, and a close stops the walk and
// completes once the walk has returned: nothing the walk uses is freed under it.
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(FormServices services = {}, QWidget* parent = nullptr);
    ~Form1() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Measurements of the last walk, for the benchmark.
    const EventPacer& Pacer() const noexcept { return m_pacer; }
    bool Walking() const noexcept { return m_walking; }
    // Closes as the user would, for an end by a signal (a logout): what cannot be done then is
    // said on stderr, not in a box nobody answers.
    void CloseFromOutside();

    // The handlers, by their control and event.
    void Form_Load();
    void Form_Unload();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void Cmd_Load_Click();
    void TreeView1_NodeClick(const QModelIndex& index);
    void Command1_Click();

    // Loads the file the outline shows again (F5, and on its own when the file changes), keeping
    // the filled blocks, the open nodes, the selection and the scroll position. When it fails the
    // outline stays; the reason is shown when `sayWhy`, or the first time for a change noticed on
    // its own; `forEditor` says that the editor was not started for it. False when the outline
    // was not replaced.
    bool ReloadShown(bool sayWhy, bool forEditor = false);
    // F8 and Shift+F8: selects the node of the next or previous problem, filling its block.
    void GoToProblem(bool forward);

    // The folder-wide views. The folder they cover is the one given with --folder, else the one
    // chosen last time, else the folder the folder list shows when first asked for.
    void SetIndexFolder(const QString& folder);
    // Ctrl+P: every block of the folder, found by typing part of its type or name.
    void OpenGoToBlock();
    // Ctrl+Shift+F: every line of the folder that uses the selected block's name (or a name
    // asked for).
    void FindUses();
    void FindUsesOf(const std::string& name);
    // The name find uses asks for, offered as a name of the folder the selected line holds;
    // empty when the user gave none.
    std::string AskUseName();
    // F12: the definition of a name the selected line holds; a list when it holds several.
    void GoToDefinition();
    // F4, Shift+F4: the next or previous use of the last find uses list.
    void GoToNextUse(bool forward);
    // Opens `filename` in the editor at the selected node's line.
    void HandOffLine(const std::string& filename);

    // Loads a file of the folder as Load would and selects the node of the line; Back returns
    // to where the user was.
    void GoToPlace(const FolderPlace& place);
    // Alt+Left, Alt+Right: back to the place a jump left, and forward again.
    void GoBack(bool back);
    // Short notes that need no answer, as tooltips: below the tree's current row, and at Load
    // (or `near` the control used) for a request turned away while a file is read.
    void NoteAtTree(const QString& text);
    void NoteBusy(QWidget* near = nullptr);

    // A file handed over from outside (the command line, a drop) is treated as typed into the
    // file name box: the lists move to its folder and Load is pressed once pending events ran.
    void OpenFromOutside(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    // Tab goes through the controls in the order they stand in.
    void SetTabOrder();
    // The problem count and, in its place while a long load runs, the note that says so.
    void CreateStatusLabels();
    void CreateFindBar();
    void ConnectHandlers();
    // The actions that have keys, for the keys and the tree's menu.
    void CreateKeyActions();
    // The tree's right-click menu: the actions that have keys.
    void ShowTreeMenu(const QPoint& at);
    void ShowFolderOf(const QString& path);
    WalkHooks Hooks();
    // Runs one walk with the window marked busy, then publishes what it added and completes a
    // close that was asked for meanwhile.
    WalkResult RunWalk(const std::function<WalkResult(const WalkHooks&)>& walk);
    void LeaveBusy();
    // The load behind Load and a reload: on success the outline, its problems and the file
    // watched are the new file's. `beforeReplace`, when given, runs once the file is read, while
    // the old outline is still shown.
    WalkResult LoadShown(const std::string& path, std::function<void()> beforeReplace = {});
    void ShownFileChanged();
    void ShowProblemCount();
    FolderIndex& Index();
    // Asks for the folder over `asking`, the list whose button was pressed: the keys go back
    // to it afterwards.
    void ChangeIndexFolder(QWidget* asking);
    // The selected node's key, when it stands for a line of the file shown.
    std::optional<NodeKey> SelectedKey() const;
    std::string SelectedLineText() const;
    // The selected line of the file shown, as a place to come back to; none when no file is.
    std::optional<FolderPlace> Here() const;
    // GoToPlace without leaving a place to go back to; its callers turn it away while a walk runs.
    void ShowPlace(const FolderPlace& place);
    // The folder's definitions that the selected line names (see DefinitionsNamedOn).
    NamedOnLine NamedOnSelectedLine(const FolderIndexState& index) const;
    void TreeView1_DoubleClick(const QModelIndex& index);
    void TreeView1_Expanded(const QModelIndex& index);
    void TreeView1_Collapsed(const QModelIndex& block);
    // Fills a root node's block as a click does; true when it got nodes (and was opened).
    bool FillBlock(NodeKey key);
    // Selects the node of `line` (or, for a line without one, the node before it), filling its
    // block first as a click on its root would; false while a walk runs, so the find bar asks
    // again later.
    bool GoToLine(LineIndex line);
    // Selects the root that shows a line between blocks: the one before it, else the first.
    bool GoToRootAt(LineIndex line);
    // Selects a node gone to and shows it, its blocks opened; none clears the selection.
    void SelectNode(const QModelIndex& index);
    // Every failure the window tells goes through here or NoteReloadFailure: the message, its
    // paths read the way the file name box shows them, in a box of its own.
    void ShowFailure(const QString& title, const Failure& failure);
    // The same for a reload that failed on its own, in a box that blocks nothing.
    void NoteReloadFailure(const Failure& failure);

    FormServices m_services;
    Keywords m_keywords;
    LineStore m_lines;
    FileLoader m_loader;
    RememberedFile m_remembered;
    OutlineModel* m_model = nullptr;
    EventPacer m_pacer;
    std::unique_ptr<Desktop> m_desktop;

    QTreeView* m_treeView1 = nullptr;
    QLineEdit* m_txtFilename = nullptr;
    QPushButton* m_cmdLoad = nullptr;
    DriveList* m_drive1 = nullptr;
    FolderList* m_dir1 = nullptr;
    FileList* m_file1 = nullptr;
    QPushButton* m_command1 = nullptr;
    bool m_handingOff = false; // the editor button's work is under way
    // The line F12 was pressed on before the folder was read.
    std::optional<NodeKey> m_definitionWhenRead;
    QCheckBox* m_chkComments = nullptr;
    FindBar* m_findBar = nullptr;
    std::vector<QAction*> m_keyActions; // in the tree menu's order; null: a separator
    QLabel* m_problemCount = nullptr;
    // Says a load is under way once it has taken readingNoteDelay.
    QLabel* m_readingNote = nullptr;
    TreeNote* m_treeNote = nullptr; // what a key at the tree did not do, and why
    QTimer m_readingSoon;
    static constexpr std::chrono::milliseconds readingNoteDelay{300};
    ShownFile m_shown;
    QString m_indexFolder; // from --folder, or empty
    // Why the folder views cover another folder than the one remembered; empty when they do not.
    QString m_folderNote;
    FolderIndex* m_index = nullptr;
    UseSearch* m_useSearch = nullptr;
    GoToBlockDialog* m_goToBlock = nullptr;
    UsesDialog* m_usesDialog = nullptr;
    std::string m_usesName; // of the last search, searched again in a folder chosen for it
    JumpHistory m_history;

    // Chk_Comments is checked; the load's worker thread reads it line by line.
    std::atomic<bool> m_showComments{false};
    bool m_walking = false;
    int m_busy = 0;                   // walks and editor hand-offs on the stack
    bool m_closing = false;           // a close was asked for; it completes once nothing is busy
    bool m_closedFromOutside = false; // by a signal: nobody is there to answer a box
    // The block the last click filled: the second click of a double-click leaves it open.
    std::optional<NodeKey> m_filledByLastClick;
    // A reload noticed on its own failed and said so; it says so again after one succeeded.
    bool m_reloadFailureShown = false;
    // The box that says so, until the file is read again.
    QPointer<QWidget> m_reloadNotice;
    // What was open when a reload found the file empty: an editor that empties the file before
    // it writes it again gets it back at the next reload.
    std::optional<ViewState> m_viewBeforeEmpty;
    // Where F8 last went and the selection it left: a problem on a line without a node selects
    // the node before it (or nothing, when no node comes before it), and while that selection
    // stays the next F8 goes on from the problem, not from the node.
    struct ProblemVisit {
        std::size_t problem;
        std::optional<NodeKey> selected;
    };
    std::optional<ProblemVisit> m_lastProblem;
    // The line of the problem F8 last went to when it has no node of its own, while the node
    // chosen for it stays selected: the editor opens that line.
    std::optional<LineIndex> m_problemLineForEditor;
    QAction* m_backAction = nullptr;
    QAction* m_forwardAction = nullptr;
    // The hashes of the shown outline's roots, so that a reload's capture looks at few lines.
    RootHashing m_rootHashes;
};

} // namespace ini
