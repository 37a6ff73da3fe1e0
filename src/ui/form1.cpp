#include "ui/form1.h"

#include "ui/form1_layout.h"

#include "outline/find/outline_search.h"
#include "outline/index/file_index.h"
#include "outline/model/outline_model.h"
#include "parse/block_stacks.h"
#include "parse/line_splitter.h"
#include "platform/desktop.h"
#include "ui/drive_list.h"
#include "ui/editor_handoff.h"
#include "ui/file_list.h"
#include "ui/find_bar.h"
#include "ui/focus_marks.h"
#include "ui/folder_index.h"
#include "ui/folder_list.h"
#include "ui/folder_views.h"
#include "ui/path_text.h"
#include "ui/tree_note.h"
#include "ui/view_state.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>

#include <array>
#include <cstdio>
#include <exception>
#include <functional>
#include <new>
#include <utility>
#include <vector>

namespace ini {

namespace {

const QString caption = QStringLiteral("Tolvens Vexa Ini-File Parser (Release 1.0)");
const QString initialFilename = QStringLiteral("D:\\test\\Data\\INI\\DrawGroupInfo.ini");
// The join of a folder and a file name in the file name box.
const QString separator = QStringLiteral("/");

void DefaultWarning(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text);
}

QPointer<QWidget> DefaultNotice(QWidget* parent, const QString& title, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    return box;
}

// The one local file a drag carries, if that is all it carries.
std::optional<QString> DraggedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return std::nullopt;
    return urls.front().toLocalFile();
}

// Rows of nodes that are or hold a problem carry the style's warning mark.
class ProblemMarks final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(OutlineModel::ProblemRole).toString().isEmpty())
            return;
        const QWidget* view = option->widget;
        option->icon = (view != nullptr ? view->style() : QApplication::style())
                           ->standardIcon(QStyle::SP_MessageBoxWarning);
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize =
            QSize(option->fontMetrics.height() - 2, option->fontMetrics.height() - 2);
    }
};

template <typename W, typename... Args>
W* Place(QWidget* parent, const char* name, QRect geometry, Args&&... args) {
    auto* widget = new W(parent, std::forward<Args>(args)...);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

Form1::Form1(FormServices services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)), m_remembered(m_services.settingsFile),
      m_model(new OutlineModel(m_lines, this)),
      m_pacer([this] { m_model->PublishPending(); }, m_services.eventInterval),
      m_rootHashes(*m_model, m_lines, [this] { return !m_walking; }) {
    if (!m_services.makeDesktop)
        m_services.makeDesktop = [] { return MakeSystemDesktop(); };
    if (!m_services.showWarning)
        m_services.showWarning = DefaultWarning;
    if (!m_services.showNotice)
        m_services.showNotice = DefaultNotice;

    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(caption);
    resize(layout::clientArea);
    // The control sizes are fixed; a small font lets every caption fit them.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    CreateControls();
    ConnectHandlers();
    Form_Load();
}

Form1::~Form1() {
    // The find bar's scan reads the line store, and a search for uses the keyword table, which
    // go before the children do.
    m_findBar->Suspend();
    if (m_useSearch != nullptr)
        m_useSearch->Cancel();
}

void Form1::CreateStatusLabels() {
    m_problemCount = Place<QLabel>(this, "Problem_Count", layout::problemCount);
    m_problemCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_problemCount->hide();
    // In the count's place while a long load runs: an outline that stays as it was, or an empty
    // tree, says nothing of a read under way.
    m_readingNote = Place<QLabel>(this, "Reading_Note", layout::problemCount);
    m_readingNote->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_readingNote->setText(QStringLiteral("Reading..."));
    m_readingNote->hide();
    m_treeNote = new TreeNote(this);
    m_readingSoon.setSingleShot(true);
    m_readingSoon.setInterval(readingNoteDelay);
    connect(&m_readingSoon, &QTimer::timeout, this, [this] {
        m_problemCount->hide();
        m_readingNote->show();
    });
}

void Form1::CreateFindBar() {
    // Hidden until Ctrl+F; it then covers the check box, and the editor button stays in reach.
    FindHost host;
    host.nodes = [this]() -> const OutlineNodes& { return m_model->Nodes(); };
    host.commentSwitch = [this] { return m_showComments.load(); };
    host.currentLine = [this]() -> std::optional<LineIndex> {
        const std::optional<NodeKey> key = m_model->KeyAt(m_treeView1->currentIndex());
        return key ? std::optional(key->line) : std::nullopt;
    };
    host.goToLine = [this](LineIndex line) { return GoToLine(line); };
    m_findBar = new FindBar(m_lines, std::move(host), this);
    m_findBar->setObjectName(QStringLiteral("FindBar"));
    m_findBar->setGeometry(layout::findBar);
}

void Form1::CreateControls() {
    // Fixed positions and sizes, no layout: resizing the window moves nothing.
    m_treeView1 = Place<QTreeView>(this, "TreeView1", layout::treeView1);
    m_treeView1->setModel(m_model);
    m_treeView1->setHeaderHidden(true);
    m_treeView1->setUniformRowHeights(true);
    m_treeView1->setExpandsOnDoubleClick(false);
    m_treeView1->setItemDelegate(new ProblemMarks(m_treeView1));
    m_treeView1->installEventFilter(this);
    m_treeView1->viewport()->installEventFilter(this);
    m_treeView1->setContextMenuPolicy(Qt::CustomContextMenu);

    m_txtFilename = Place<QLineEdit>(this, "Txt_Filename", layout::txtFilename);
    m_txtFilename->setText(initialFilename);
    // A file dropped on the box goes to the window, which loads it, rather than into the text.
    m_txtFilename->setAcceptDrops(false);
    setAcceptDrops(true);

    m_cmdLoad = Place<QPushButton>(this, "Cmd_Load", layout::cmdLoad);
    m_cmdLoad->setText(QStringLiteral("Load"));

    m_drive1 = Place<DriveList>(this, "Drive1", layout::drive1, m_services.volumes);
    m_dir1 = Place<FolderList>(this, "Dir1", layout::dir1);
    m_file1 = Place<FileList>(this, "File1", layout::file1);

    m_command1 = Place<QPushButton>(this, "Command1", layout::command1);
    m_command1->setText(QStringLiteral("Open File in Notepad and locate line"));

    m_chkComments = Place<QCheckBox>(this, "Chk_Comments", layout::chkComments);
    m_chkComments->setText(
        QStringLiteral("Show comments whithin a line (change needs reload of file)"));
    // The caption is long for its box; a condensed face keeps all of it in view.
    QFont condensed = m_chkComments->font();
    condensed.setStretch(QFont::Condensed);
    m_chkComments->setFont(condensed);

    CreateStatusLabels();
    CreateFindBar();

    // The lists start on the current folder, before any handler is connected; a current folder
    // that cannot be listed gives way to the home folder, then to "/".
    for (const QString& start : {CurrentFolderText(), QDir::homePath(), QStringLiteral("/")}) {
        if (m_dir1->SetPath(start))
            break;
    }
    m_drive1->NoteFolderShown(m_dir1->Path());
    m_file1->SetFolder(m_dir1->Path());

    for (QAbstractItemView* list :
         std::initializer_list<QAbstractItemView*>{m_treeView1, m_dir1, m_file1})
        MarkFocusBySelection(*list);

    SetTabOrder();
    m_treeView1->setFocus();
}

void Form1::SetTabOrder() {
    const std::array<QWidget*, 8> order = {m_treeView1, m_txtFilename, m_cmdLoad,  m_drive1,
                                           m_dir1,      m_file1,       m_command1, m_chkComments};
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::ConnectHandlers() {
    connect(m_drive1, &DriveList::driveChanged, this, &Form1::Drive1_Change);
    // The drive list follows the folder first, so the handler sees both in step.
    connect(m_dir1, &FolderList::pathChanged, this,
            [this] { m_drive1->NoteFolderShown(m_dir1->Path()); });
    connect(m_dir1, &FolderList::pathChanged, this, &Form1::Dir1_Change);
    connect(m_file1, &FileList::fileClicked, this, &Form1::File1_Click);
    connect(m_file1, &FileList::fileOpened, m_cmdLoad, &QPushButton::click);
    connect(m_cmdLoad, &QPushButton::clicked, this, &Form1::Cmd_Load_Click);
    connect(m_txtFilename, &QLineEdit::returnPressed, m_cmdLoad, &QPushButton::click);
    connect(m_treeView1, &QTreeView::clicked, this, &Form1::TreeView1_NodeClick);
    connect(m_treeView1, &QTreeView::doubleClicked, this, &Form1::TreeView1_DoubleClick);
    connect(m_treeView1, &QTreeView::expanded, this, &Form1::TreeView1_Expanded);
    connect(m_treeView1, &QTreeView::collapsed, this, &Form1::TreeView1_Collapsed);
    // Enter on a node fills it as a click does.
    connect(m_treeView1, &QTreeView::activated, this, [this](const QModelIndex& index) {
        if (const std::optional<NodeKey> key = m_model->KeyAt(index))
            FillBlock(*key);
    });
    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    // Walks ask for the switch on every line; a copy kept in step is cheaper to read.
    connect(m_chkComments, &QCheckBox::toggled, this, [this](bool on) {
        m_showComments.store(on);
        m_findBar->CommentSwitchChanged();
    });
    connect(m_treeView1->selectionModel(), &QItemSelectionModel::currentChanged, m_findBar,
            &FindBar::ShowStatus);
    connect(m_findBar, &FindBar::closed, m_treeView1, qOverload<>(&QWidget::setFocus));
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, m_findBar,
            &FindBar::FindNext);
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this), &QShortcut::activated,
            m_findBar, &FindBar::FindPrevious);
    connect(&m_shown, &ShownFile::changed, this, &Form1::ShownFileChanged);
    CreateKeyActions();
    connect(m_treeView1, &QWidget::customContextMenuRequested, this, &Form1::ShowTreeMenu);
    // The End's own line goes to the editor only while the node F8 chose for it is selected.
    connect(m_treeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { m_problemLineForEditor.reset(); });
}

void Form1::ShowTreeMenu(const QPoint& at) {
    // What the keys do, for the mouse, with the keys beside them so they are learnt. The entries
    // stand for the actions, which run once the menu is gone: a note one shows would go with it.
    QMenu menu(this);
    for (std::size_t i = 0; i < m_keyActions.size(); ++i) {
        if (m_keyActions[i] == nullptr) {
            menu.addSeparator();
            continue;
        }
        QAction* entry = menu.addAction(m_keyActions[i]->text());
        entry->setShortcut(m_keyActions[i]->shortcut());
        entry->setData(static_cast<qulonglong>(i));
        if (m_keyActions[i] == m_backAction || m_keyActions[i] == m_forwardAction)
            entry->setEnabled(m_keyActions[i] == m_backAction ? m_history.CanGoBack()
                                                              : m_history.CanGoForward());
    }
    if (const QAction* chosen = menu.exec(m_treeView1->viewport()->mapToGlobal(at)))
        m_keyActions[chosen->data().toULongLong()]->trigger();
}

void Form1::CreateKeyActions() {
    // Each works by its key anywhere in the window and is offered by the tree's menu, in this
    // order (none: a separator).
    const auto add = [this](const QString& text, const QKeySequence& keys,
                            std::function<void()> run) {
        auto* action = new QAction(text, this);
        action->setShortcut(keys);
        addAction(action);
        connect(action, &QAction::triggered, this, std::move(run));
        m_keyActions.push_back(action);
    };
    // The line in the file it was read from, whatever the name box names since.
    add(QStringLiteral("Open in the editor at this line"), Qt::CTRL | Qt::Key_Return, [this] {
        HandOffLine(m_shown.Path().empty() ? PathFromText(m_txtFilename->text()) : m_shown.Path());
    });
    add(QStringLiteral("Go to definition"), Qt::Key_F12, [this] { GoToDefinition(); });
    add(QStringLiteral("Find uses"), Qt::CTRL | Qt::SHIFT | Qt::Key_F, [this] { FindUses(); });
    add(QStringLiteral("Next use"), Qt::Key_F4, [this] { GoToNextUse(true); });
    add(QStringLiteral("Previous use"), Qt::SHIFT | Qt::Key_F4, [this] { GoToNextUse(false); });
    m_keyActions.push_back(nullptr);
    add(QStringLiteral("Next problem"), Qt::Key_F8, [this] { GoToProblem(true); });
    add(QStringLiteral("Previous problem"), Qt::SHIFT | Qt::Key_F8, [this] { GoToProblem(false); });
    m_keyActions.push_back(nullptr);
    add(QStringLiteral("Go to block..."), Qt::CTRL | Qt::Key_P, [this] { OpenGoToBlock(); });
    add(QStringLiteral("Back"), Qt::ALT | Qt::Key_Left, [this] { GoBack(true); });
    m_backAction = m_keyActions.back();
    add(QStringLiteral("Forward"), Qt::ALT | Qt::Key_Right, [this] { GoBack(false); });
    m_forwardAction = m_keyActions.back();
    add(QStringLiteral("Find in the file..."), QKeySequence::Find, [this] { m_findBar->Open(); });
    add(QStringLiteral("Reload"), QKeySequence::Refresh, [this] { ReloadShown(true); });
}

void Form1::GoToNextUse(bool forward) {
    switch (m_usesDialog == nullptr ? FolderListDialog::Step::NoRows
                                    : m_usesDialog->GoToNext(forward)) {
    case FolderListDialog::Step::NoRows:
        NoteAtTree(QStringLiteral("No uses are listed: Ctrl+Shift+F finds the uses of a block"));
        break;
    case FolderListDialog::Step::AtEnd:
        NoteAtTree(m_usesDialog->EndNote(forward));
        break;
    case FolderListDialog::Step::Went:
        break;
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // A long level hands the view its rows as it scrolls; End means the last of them all.
    if (watched == m_treeView1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_End)
            m_model->ShowAllRoots();
        // Shift+F10 opens the tree's menu as the menu key does, at the current node, for
        // keyboards without that key.
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
            const QRect current = m_treeView1->visualRect(m_treeView1->currentIndex());
            emit m_treeView1->customContextMenuRequested(
                current.isValid() ? current.center() : m_treeView1->viewport()->rect().center());
            return true;
        }
    }
    // A mouse's side buttons go back and forward, as in a web browser.
    if (watched == m_treeView1->viewport() && event->type() == QEvent::MouseButtonPress) {
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        if (button == Qt::BackButton || button == Qt::ForwardButton) {
            GoBack(button == Qt::BackButton);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

FolderIndex& Form1::Index() {
    if (m_index == nullptr) {
        m_index = new FolderIndex(m_keywords, this);
        // A folder given from outside is kept though it goes (the index looks for it again); a
        // remembered one that is gone (on a drive not mounted, say) gives way to the one shown.
        QString folder = m_indexFolder;
        if (folder.isEmpty()) {
            folder = m_remembered.Folder();
            if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
                m_folderNote = QStringLiteral("The folder remembered, %1, is not there: the "
                                              "folder shown is read instead.")
                                   .arg(folder);
                folder.clear();
            }
            if (folder.isEmpty())
                folder = m_dir1->Path();
        }
        m_index->Open(PathFromText(folder));
        connect(m_index, &FolderIndex::changed, this, [this] {
            if (m_goToBlock != nullptr && m_goToBlock->isVisible())
                m_goToBlock->SetIndex(m_index->Snapshot());
            // F12 pressed before the folder was read goes once it is, if its line is still the
            // one selected.
            if (m_definitionWhenRead && m_index->Snapshot()->complete &&
                std::exchange(m_definitionWhenRead, std::nullopt) == SelectedKey())
                GoToDefinition();
        });
    }
    return *m_index;
}

void Form1::SetIndexFolder(const QString& folder) {
    m_indexFolder = folder;
    m_folderNote.clear();
    for (FolderListDialog* dialog : {static_cast<FolderListDialog*>(m_goToBlock),
                                     static_cast<FolderListDialog*>(m_usesDialog)})
        if (dialog != nullptr)
            dialog->SetNote({});
    if (m_index != nullptr)
        m_index->Open(PathFromText(folder));
}

void Form1::ChangeIndexFolder(QWidget* asking) {
    const QString folder = QFileDialog::getExistingDirectory(
        asking, QStringLiteral("Folder of block files"), TextFromPath(Index().Folder()));
    if (folder.isEmpty())
        return;
    SetIndexFolder(folder);
    if (const Result<void> stored = m_remembered.WriteFolder(folder); !stored.ok())
        ShowFailure(QStringLiteral("Remember folder"),
                    WithContext("The folder could not be remembered", stored.failure()));
    if (m_goToBlock != nullptr)
        m_goToBlock->SetIndex(m_index->Snapshot());
}

void Form1::OpenGoToBlock() {
    if (m_goToBlock == nullptr) {
        m_goToBlock = new GoToBlockDialog(this);
        m_goToBlock->setObjectName(QStringLiteral("GoToBlock"));
        m_goToBlock->goTo = [this](const FolderPlace& place) { GoToPlace(place); };
        m_goToBlock->changeFolder = [this] { ChangeIndexFolder(m_goToBlock); };
    }
    m_goToBlock->SetIndex(Index().Snapshot());
    m_goToBlock->SetNote(m_folderNote);
    m_goToBlock->ShowAll();
    m_goToBlock->show();
    m_goToBlock->raise();
    m_goToBlock->activateWindow();
}

std::optional<NodeKey> Form1::SelectedKey() const {
    const QModelIndexList selected = m_treeView1->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return std::nullopt;
    const std::optional<NodeKey> key = m_model->KeyAt(selected.front());
    if (!key || key->line >= m_lines.Count())
        return std::nullopt;
    return key;
}

std::string Form1::SelectedLineText() const {
    const std::optional<NodeKey> key = SelectedKey();
    return key ? std::string(m_lines.Line(key->line)) : std::string();
}

void Form1::FindUses() {
    // The selected block's name: the second word of a definition's line. Only a root can be
    // one: inside a block, "Weapon = ..." opens nothing.
    std::string name;
    const std::optional<NodeKey> key = SelectedKey();
    if (key && !m_model->Parent(*key)) {
        const std::string line = SelectedLineText();
        const std::string_view first = FirstWordOf(line);
        if (!first.empty() &&
            ClassifyFirstWord(first, BlockStacks{}, m_keywords).lineClass == LineClass::Opener)
            name = std::string(WordAfter(line, first));
    }
    if (name.empty())
        name = AskUseName();
    if (!name.empty())
        FindUsesOf(name);
}

std::string Form1::AskUseName() {
    // A line such as "Armor = PlatedArmor" names what its user most likely looks for.
    std::string offered;
    if (SelectedKey()) {
        const NamedOnLine named = NamedOnSelectedLine(*Index().Snapshot());
        if (!named.names.empty())
            offered = named.names.front();
    }
    bool ok = false;
    const QString asked =
        QInputDialog::getText(this, QStringLiteral("Find uses"), QStringLiteral("Name:"),
                              QLineEdit::Normal, TextFromPath(offered), &ok);
    return ok ? PathFromText(asked.trimmed()) : std::string();
}

void Form1::FindUsesOf(const std::string& name) {
    m_usesName = name;
    if (m_useSearch == nullptr) {
        m_useSearch = new UseSearch(m_keywords, this);
        m_usesDialog = new UsesDialog(*m_useSearch, this);
        m_usesDialog->setObjectName(QStringLiteral("FindUses"));
        m_usesDialog->goTo = [this](const FolderPlace& place) { GoToPlace(place); };
        m_usesDialog->changeFolder = [this] {
            ChangeIndexFolder(m_usesDialog);
            FindUsesOf(m_usesName);
        };
    }
    // The search lists the folder itself: it need not wait for the index to be complete.
    const std::string folder = Index().Folder();
    m_usesDialog->SetNote(m_folderNote);
    m_useSearch->Start(folder, name);
    m_usesDialog->Follow(folder);
    m_usesDialog->show();
    m_usesDialog->raise();
    m_usesDialog->activateWindow();
}

NamedOnLine Form1::NamedOnSelectedLine(const FolderIndexState& index) const {
    // Of a long line, what its label shows; a word its end cuts goes on past it.
    const std::string line = SelectedLineText();
    const std::string_view shown = std::string_view(line).substr(0, OutlineModel::labelBytes);
    const std::string_view content = ContentOf(shown);
    const bool cutInWord = content.size() == shown.size() && line.size() > shown.size() &&
                           IsWordByte(line[shown.size()]);
    return DefinitionsNamedOn(index, content, !cutInWord);
}

void Form1::GoToDefinition() {
    if (!SelectedKey()) {
        NoteAtTree(QStringLiteral("No line is selected: select the line that names a block"));
        return;
    }
    const FolderIndexSnapshot index = Index().Snapshot();
    auto [names, places] = NamedOnSelectedLine(*index);
    if (places.size() == 1) {
        GoToPlace(places.front());
        return;
    }
    if (places.empty()) {
        if (!index->complete)
            m_definitionWhenRead = SelectedKey();
        NoteAtTree(index->complete ? QStringLiteral("No block of the folder is named on this line")
                                   : QStringLiteral("No block found yet: the folder is still being "
                                                    "read, and the line is looked up once it is"));
        return;
    }
    OpenGoToBlock();
    m_goToBlock->ShowOnly(std::move(names));
}

void Form1::GoToPlace(const FolderPlace& place) {
    // The name box keeps naming the file the running work shows: the editor button pairs it
    // with the selected line.
    if (m_walking) {
        NoteBusy();
        return;
    }
    if (std::optional<FolderPlace> here = Here();
        here && (here->file != place.file || here->line != place.line))
        m_history.Leave(std::move(*here));
    ShowPlace(place);
}

void Form1::GoBack(bool back) {
    if (m_walking) {
        NoteBusy();
        return;
    }
    if (std::optional<FolderPlace> to = back ? m_history.Back(Here()) : m_history.Forward(Here()))
        ShowPlace(*to);
    else
        NoteAtTree(back ? QStringLiteral("No place to go back to: going to a block, a definition "
                                         "or a use leaves one")
                        : QStringLiteral("No place to go forward to: Back leaves one"));
}

std::optional<FolderPlace> Form1::Here() const {
    if (m_shown.Path().empty())
        return std::nullopt;
    FolderPlace here;
    here.file = m_shown.Path();
    if (const std::optional<NodeKey> key = SelectedKey()) {
        // Enough of the line to find it again when lines come or go above it.
        constexpr std::size_t mostKept = 200;
        const std::string_view line = m_lines.Line(key->line);
        here.line = key->line;
        here.text = std::string(line.substr(0, mostKept));
        here.textCut = line.size() > mostKept;
        // Lines written alike are told apart by their order, when the file changes meanwhile.
        CountSameText(here, m_lines);
    }
    return here;
}

void Form1::ShowPlace(const FolderPlace& place) {
    // A note about the place left, such as "no block found yet", is out of date at the next.
    m_treeNote->hide();
    m_txtFilename->setText(TextFromPath(place.file));
    ShowFolderOf(m_txtFilename->text());
    // A place in the file shown, as it was read, keeps the blocks that are open there.
    if (!m_shown.Shows(place.file) || m_shown.ChangedSinceShown())
        Cmd_Load_Click();
    if (!m_shown.Shows(place.file)) {
        // The load failed and said why: the box names the file shown again, which the editor
        // button opens at the selected line, and the lists show its folder again.
        if (!m_shown.Path().empty()) {
            m_txtFilename->setText(TextFromPath(m_shown.Path()));
            ShowFolderOf(m_txtFilename->text());
        }
        return;
    }
    // The keys go on in the tree: Right opens the block gone to.
    activateWindow();
    m_treeView1->setFocus();
    if (const std::optional<LineIndex> line = LineNow(place, m_lines)) {
        GoToLine(*line);
        return;
    }
    // A line that is gone is not stood in for by whatever holds its number now.
    m_treeView1->clearSelection();
    NoteAtTree(QStringLiteral("Line %1 no longer holds what it held when it was listed or left: "
                              "the file changed since")
                   .arg(place.line + 1));
}

void Form1::NoteAtTree(const QString& text) {
    const QWidget* const rows = m_treeView1->viewport();
    const QRect row = m_treeView1->visualRect(m_treeView1->currentIndex());
    m_treeNote->ShowAt(QRect(rows->mapToGlobal(row.topLeft()), row.size()),
                       rows->mapToGlobal(rows->rect().bottomLeft()).y(), text);
}

void Form1::NoteBusy(QWidget* near) {
    QWidget* const at = near != nullptr ? near : m_cmdLoad;
    QToolTip::showText(at->mapToGlobal(at->rect().bottomLeft()),
                       QStringLiteral("A file is being read: try again once it is shown"), at);
}

void Form1::Form_Load() {
    m_keywords.InitKeywords();
    m_shown.SetWatching(m_remembered.AutoReload());
    const QString remembered = m_remembered.Read();
    if (!remembered.isEmpty())
        ShowFolderOf(remembered);
}

void Form1::ShowFolderOf(const QString& path) {
    // A path that holds no "/" or leads nowhere leaves the lists where they are; a folder that
    // is gone shows its nearest existing ancestor.
    const std::optional<QString> folder = FolderToShow(path);
    if (!folder)
        return;
    m_drive1->SetDriveFor(*folder);
    m_dir1->SetPath(*folder);
}

void Form1::OpenFromOutside(const QString& path) {
    m_txtFilename->setText(path);
    ShowFolderOf(path);
    // Later, so that the window is shown first and a drop's source is not kept waiting.
    QTimer::singleShot(0, this, &Form1::Cmd_Load_Click);
}

void Form1::Form_Unload() {
    const Result<void> stored = m_remembered.Write(m_txtFilename->text());
    if (stored.ok())
        return;
    const Failure why = WithContext("The file name could not be remembered", stored.failure());
    // A box would keep a logout waiting for an answer nobody gives.
    if (m_closedFromOutside)
        std::fprintf(stderr, "ini-file-parser: %s\n", SentenceOf(why).toLocal8Bit().constData());
    else
        ShowFailure(QStringLiteral("Remember file name"), why);
}

void Form1::CloseFromOutside() {
    m_closedFromOutside = true;
    close();
}

void Form1::Drive1_Change() {
    if (m_dir1->SetPath(m_drive1->FolderOnDrive()))
        return;
    // The drive cannot be read: back to the drive of the folder still shown. That change runs
    // this handler once more and it finds its way there.
    m_drive1->SetDriveFor(m_dir1->Path());
}

void Form1::Dir1_Change() {
    m_file1->SetFolder(m_dir1->Path());
}

void Form1::File1_Click() {
    const QString name = m_file1->FileName();
    if (name.isEmpty())
        return;
    // The separator is added even after the root's "/", as the join always has.
    m_txtFilename->setText(m_dir1->Path() + separator + name);
}

WalkHooks Form1::Hooks() {
    return WalkHooks{&m_showComments, [this] { return m_pacer.LetEventsRun(); }, {}};
}

WalkResult Form1::RunWalk(const std::function<WalkResult(const WalkHooks&)>& walk) {
    m_walking = true;
    ++m_busy;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_pacer.Start();
    WalkResult result;
    try {
        result = walk(Hooks());
    } catch (const std::bad_alloc&) {
        result.status = WalkStatus::Failed;
        result.error = NotEnoughMemory("show the outline");
    } catch (const std::exception& error) {
        result.status = WalkStatus::Failed;
        result.error = Failure{error.what()};
    }
    m_pacer.Finish();
    m_model->PublishPending();
    QApplication::restoreOverrideCursor();
    m_walking = false;
    LeaveBusy();
    return result;
}

void Form1::LeaveBusy() {
    if (--m_busy == 0 && m_closing)
        QTimer::singleShot(0, this, &QWidget::close);
}

void Form1::Cmd_Load_Click() {
    if (m_walking) {
        NoteBusy();
        return;
    }
    const std::string path = PathFromText(m_txtFilename->text());
    const WalkResult result = LoadShown(path);
    if (result.status == WalkStatus::Failed && result.error)
        ShowFailure(QStringLiteral("Load"), *result.error);
    if (result.status != WalkStatus::Done)
        return;
    // A new file starts at its first rows, whatever the last one showed.
    m_viewBeforeEmpty.reset();
    m_treeView1->scrollToTop();
    const QFileInfo file(TextFromPath(path));
    if (QDir(file.absolutePath()) == QDir(m_dir1->Path()))
        m_file1->Highlight(file.fileName());
}

WalkResult Form1::LoadShown(const std::string& path, std::function<void()> beforeReplace) {
    // Taken before the read: a write while it reads makes the outline out of date at once.
    const FileStamp stamp = FileStamp::Of(path);
    m_findBar->Suspend(); // its scan reads the lines the load replaces
    m_readingNote->setToolTip(QStringLiteral("Reading %1").arg(TextFromPath(path)));
    m_readingSoon.start();
    WalkResult result = RunWalk([&](const WalkHooks& hooks) {
        WalkHooks loadHooks = hooks;
        loadHooks.beforeReplace = std::move(beforeReplace);
        return m_loader.LoadFile(path, m_lines, *m_model, m_keywords, loadHooks);
    });
    m_readingSoon.stop();
    m_readingNote->hide();
    m_findBar->Resume();
    if (result.status != WalkStatus::Done) {
        ShowProblemCount(); // of the outline still shown
        return result;
    }
    m_filledByLastClick.reset();
    m_lastProblem.reset();
    m_problemLineForEditor.reset();
    m_definitionWhenRead.reset();
    m_treeNote->hide(); // a note at the tree told of the outline replaced
    m_rootHashes.Restart();
    m_model->SetProblems(std::move(result.problems), result.problemsNotKept);
    ShowProblemCount();
    m_shown.Show(path, stamp);
    m_reloadFailureShown = false;
    if (m_reloadNotice)
        m_reloadNotice->close();
    return result;
}

bool Form1::ReloadShown(bool sayWhy, bool forEditor) {
    if (m_walking && sayWhy)
        NoteBusy(forEditor ? m_command1 : nullptr); // F5 or the editor button, turned away
    if (m_walking || m_shown.Path().empty())
        return false;
    // What was open before a reload found the file empty waits for one that shows rows.
    std::optional<ViewState> before = m_viewBeforeEmpty;
    const WalkResult result = LoadShown(m_shown.Path(), [&] {
        // Taken as the new outline comes: a node selected while the file was read counts.
        if (!before)
            before = ViewState::Capture(*m_model, m_lines, *m_treeView1, m_rootHashes.Hashes());
    });
    if (result.status == WalkStatus::Failed && result.error && (sayWhy || !m_reloadFailureShown)) {
        m_reloadFailureShown = true;
        if (forEditor) {
            // A box asked for says what the one that came on its own says: one is enough.
            if (m_reloadNotice)
                m_reloadNotice->close();
            ShowFailure(QStringLiteral("Open in editor"),
                        WithContext("The editor was not started, as the file changed and could not "
                                    "be read again",
                                    *result.error));
        } else {
            // F5 too: a reload that failed is a state, which the notice shows until it ends.
            NoteReloadFailure(*result.error);
        }
    }
    if (result.status != WalkStatus::Done)
        return false;
    if (m_model->rowCount() == 0) {
        m_viewBeforeEmpty = std::move(before);
        return true;
    }
    m_viewBeforeEmpty.reset();
    std::vector<NodeKey> filled;
    const std::vector<NodeKey> toFill =
        before->RootsToFill(*m_model, m_lines, m_rootHashes.MadeByAPass());
    const WalkResult fills = RunWalk([&](const WalkHooks& hooks) {
        for (const NodeKey root : toFill) {
            WalkResult fill = ClickNode(root, m_lines, *m_model, m_keywords, hooks);
            if (fill.status == WalkStatus::Failed || fill.status == WalkStatus::Stopped)
                return fill;
            filled.push_back(root);
        }
        return WalkResult{};
    });
    if (fills.status == WalkStatus::Failed && fills.error)
        ShowFailure(QStringLiteral("Block"), *fills.error);
    if (m_closing)
        return true;
    for (const NodeKey root : filled)
        m_model->NoteFilled(root);
    before->Reopen(*m_model, m_lines, *m_treeView1);
    return true;
}

void Form1::ShownFileChanged() {
    // Not in the middle of a walk or a hand-off: the change is taken up once they are done.
    if (m_busy > 0) {
        QTimer::singleShot(ShownFile::settleTime, this, [this] {
            if (m_shown.ChangedSinceShown())
                ShownFileChanged();
        });
        return;
    }
    if (!m_closing)
        ReloadShown(false);
}

void Form1::ShowProblemCount() {
    const std::size_t marked = m_model->Problems().size();
    const std::size_t notKept = m_model->ProblemsNotKept();
    const std::size_t count = marked + notKept;
    QString text =
        count == 1 ? QStringLiteral("1 problem") : QStringLiteral("%1 problems").arg(count);
    // The label has the room of five digits; the tooltip gives the whole count.
    const auto fits = [this](const QString& shown) {
        return m_problemCount->fontMetrics().horizontalAdvance(shown) <= m_problemCount->width();
    };
    if (!fits(text))
        text = QStringLiteral("%1k problems").arg(count / 1000);
    if (!fits(text))
        text = QStringLiteral("%1M problems").arg(count / 1000000);
    m_problemCount->setText(text);
    QString tip = QStringLiteral("%1 in all. F8: next problem, Shift+F8: previous")
                      .arg(count == 1 ? QStringLiteral("1 problem")
                                      : QStringLiteral("%1 problems").arg(count));
    // A file of nothing but mistakes must not make a list as large as itself.
    if (notKept > 0)
        tip += QStringLiteral("\nOnly the first %1 by line are marked and visited with F8; %2 "
                              "more are only counted")
                   .arg(marked)
                   .arg(notKept);
    m_problemCount->setToolTip(tip);
    m_problemCount->setVisible(count > 0);
}

void Form1::GoToProblem(bool forward) {
    const std::vector<Problem>& problems = m_model->Problems();
    if (problems.empty() || m_walking)
        return;
    // From the selected node, as every action is: a row with only the focus frame is not selected.
    const std::optional<NodeKey> current = SelectedKey();
    std::size_t next = 0;
    if (m_lastProblem && m_lastProblem->problem < problems.size() &&
        m_lastProblem->selected == current) {
        // Still where the last F8 went: on from that problem.
        const std::size_t last = m_lastProblem->problem;
        next = forward ? last + 1 : last + problems.size() - 1;
    } else if (current) {
        const auto byLine = [](const Problem& problem, LineIndex line) {
            return problem.line < line;
        };
        const auto after = std::lower_bound(problems.begin(), problems.end(),
                                            current->line + (forward ? 1 : 0), byLine);
        next = static_cast<std::size_t>(after - problems.begin()) +
               (forward ? 0 : problems.size() - 1);
    } else if (!forward) {
        next = problems.size() - 1;
    }
    next %= problems.size();
    if (!(problems[next].betweenBlocks ? GoToRootAt(problems[next].line)
                                       : GoToLine(problems[next].line)))
        return;
    m_lastProblem = ProblemVisit{next, SelectedKey()};
    m_problemLineForEditor =
        problems[next].betweenBlocks ? std::optional(problems[next].line) : std::nullopt;
    NoteAtTree(TextFromPath(problems[next].message));
}

void Form1::TreeView1_NodeClick(const QModelIndex& index) {
    m_filledByLastClick.reset();
    if (const std::optional<NodeKey> key = m_model->KeyAt(index); key && FillBlock(*key))
        m_filledByLastClick = key;
}

bool Form1::FillBlock(NodeKey key) {
    if (m_walking)
        return false;
    const WalkResult result = RunWalk([&](const WalkHooks& hooks) {
        return ClickNode(key, m_lines, *m_model, m_keywords, hooks);
    });
    if (result.status == WalkStatus::Failed && result.error)
        ShowFailure(QStringLiteral("Block"), *result.error);
    if (result.status == WalkStatus::Done && !m_closing)
        m_model->NoteFilled(key);
    if (result.nodesAdded == 0 || m_closing)
        return false;
    m_treeView1->expand(m_model->IndexOf(key));
    return true;
}

void Form1::TreeView1_Collapsed(const QModelIndex& block) {
    // A node hidden in a block closed by its arrow stays selected in Qt, out of sight, and the
    // editor button would hand its line over: the block takes the selection, as Left does.
    for (QModelIndex above = m_treeView1->currentIndex().parent(); above.isValid();
         above = above.parent()) {
        if (above == block) {
            m_treeView1->setCurrentIndex(block);
            return;
        }
    }
}

void Form1::TreeView1_Expanded(const QModelIndex& index) {
    // Opening an unfilled block (its arrow, Right or +) fills it as a click would; after the
    // view has finished opening it, since a fill lets events run.
    const std::optional<NodeKey> key = m_model->KeyAt(index);
    if (!key || m_model->ChildCount(*key) > 0)
        return;
    QTimer::singleShot(0, this, [this, key = *key] {
        if (!m_walking) {
            FillBlock(key);
            return;
        }
        // Turned away as a click is: an open arrow over no rows would say the block is empty.
        m_treeView1->collapse(m_model->IndexOf(key));
        NoteBusy();
    });
}

void Form1::TreeView1_DoubleClick(const QModelIndex& index) {
    const std::optional<NodeKey> key = m_model->KeyAt(index);
    // The first click of this double-click filled and opened the block: keep it open.
    if (!key || key == m_filledByLastClick) {
        m_filledByLastClick.reset();
        return;
    }
    m_treeView1->setExpanded(index, !m_treeView1->isExpanded(index));
}

bool Form1::GoToRootAt(LineIndex line) {
    if (m_walking)
        return false;
    const OutlineNodes& nodes = m_model->Nodes();
    OutlineNodes::NodeId root = nodes.RootAtOrBefore(NodeKey{line});
    if (root == OutlineNodes::none && nodes.RootCount() > 0)
        root = OutlineNodes::RootAt(0);
    SelectNode(root == OutlineNodes::none ? QModelIndex() : m_model->Reveal(nodes.KeyOf(root)));
    return true;
}

bool Form1::GoToLine(LineIndex line) {
    if (m_walking)
        return false;
    const std::optional<NodeKey> root = RootHolding(m_model->Nodes(), line);
    if (root && root->line != line && m_model->ChildCount(*root) == 0) {
        const WalkResult result = RunWalk([&](const WalkHooks& hooks) {
            return ClickNode(*root, m_lines, *m_model, m_keywords, hooks);
        });
        if (result.status == WalkStatus::Failed && result.error)
            ShowFailure(QStringLiteral("Block"), *result.error);
        if (m_closing)
            return true;
    }
    const OutlineNodes::NodeId node =
        root ? m_model->Nodes().NodeAtOrBefore(NodeKey{line}) : OutlineNodes::none;
    SelectNode(node == OutlineNodes::none ? QModelIndex()
                                          : m_model->Reveal(m_model->Nodes().KeyOf(node)));
    return true;
}

void Form1::SelectNode(const QModelIndex& index) {
    if (!index.isValid()) {
        // No node stands for the line: a selection elsewhere would point at another one.
        m_treeView1->selectionModel()->clearSelection();
        return;
    }
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent())
        m_treeView1->expand(above);
    m_treeView1->setCurrentIndex(index);
    m_treeView1->scrollTo(index);
    // The next key acts on the node gone to (Enter in the name box would load the file again),
    // unless it goes on searching in the find bar.
    if (!m_findBar->isAncestorOf(QApplication::focusWidget()))
        m_treeView1->setFocus();
}

void Form1::Command1_Click() {
    HandOffLine(PathFromText(m_txtFilename->text()));
}

void Form1::HandOffLine(const std::string& filename) {
    // A hand-off lets events run while it waits for the editor: a click then would start a
    // second one whose keys could reach the first editor.
    if (m_handingOff) {
        QToolTip::showText(m_command1->mapToGlobal(m_command1->rect().bottomLeft()),
                           QStringLiteral("An editor is being started: try again once it shows"),
                           m_command1);
        return;
    }
    const QScopedValueRollback handingOff(m_handingOff, true);
    // The outline of a file that changed since it was read would send a line that now holds
    // something else: the file is read again first, and the selection follows its node.
    if (m_shown.Shows(filename) && m_shown.ChangedSinceShown() && !ReloadShown(true, true))
        return;
    // The selected node, not the current one: keyboard focus alone marks a row without selecting
    // it, and then no line is typed.
    std::optional<std::string> key;
    const QModelIndexList selected = m_treeView1->selectionModel()->selectedIndexes();
    if (!selected.isEmpty()) {
        if (const auto node = m_model->KeyAt(selected.front()))
            key = node->ToString();
    }
    // Right after F8 went to a line that has no node (an End with no block open), that line.
    if (m_problemLineForEditor && *m_problemLineForEditor < m_lines.Count())
        key = NodeKey{*m_problemLineForEditor}.ToString();
    if (!m_desktop)
        m_desktop = m_services.makeDesktop();
    if (!m_desktop)
        return;
    const QString ownEditor = m_remembered.EditorCommand();
    ++m_busy;
    const HandoffResult result =
        ownEditor.isEmpty()
            ? OpenEditorAtLine(*m_desktop, key, filename)
            : OpenOwnEditorAtLine(*m_desktop, ownEditor.toStdString(), key, filename);
    LeaveBusy();
    if (result.error && !m_closing)
        ShowFailure(QStringLiteral("Open in editor"), *result.error);
}

void Form1::ShowFailure(const QString& title, const Failure& failure) {
    m_services.showWarning(this, title, SentenceOf(failure));
}

void Form1::NoteReloadFailure(const Failure& failure) {
    // A modal box here would stop the window for something the user did not ask for, and
    // would stay up after the file is back.
    if (m_reloadNotice)
        m_reloadNotice->close();
    m_reloadNotice = m_services.showNotice(this, QStringLiteral("Reload"), SentenceOf(failure));
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (DraggedFile(event->mimeData()))
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const std::optional<QString> file = DraggedFile(event->mimeData());
    if (!file)
        return;
    event->acceptProposedAction();
    OpenFromOutside(*file);
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!m_closing) {
        m_closing = true;
        Form_Unload();
        m_pacer.RequestStop();
    }
    // A walk or hand-off still on the stack uses this window; the close completes after it.
    if (m_busy > 0) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace ini
