#include "ui/folder_views.h"

#include "outline/index/file_index.h"
#include "outline/model/outline_model.h"
#include "outline/read/line_store.h"
#include "parse/definition_counts.h"
#include "parse/text_encoding.h"
#include "ui/path_text.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <new>
#include <unordered_set>

namespace ini {

NamedOnLine DefinitionsNamedOn(const FolderIndexState& index, std::string_view content, bool ends) {
    std::size_t longest = 0;
    for (const FileRecord& file : index.files)
        longest = std::max(longest, file->LongestName());
    std::vector<std::string_view> words = WholeWordsOf(content, longest);
    // A stretch without a letter, digit or underscore (the '=' of every value line) names
    // nothing, though a top-level "Object = Factory" defines a block so named: a mistake the
    // checks report, which must not take every F12 there.
    std::erase_if(words, [&](std::string_view word) {
        return std::none_of(word.begin(), word.end(), IsWordByte) ||
               (!ends && word.data() + word.size() == content.data() + content.size());
    });
    const std::unordered_set<std::string_view> candidates(words.begin(), words.end());
    // A folder holds millions of definitions: only the files that may define a word are read.
    std::vector<std::uint32_t> hashes;
    for (const std::string_view word : candidates)
        hashes.push_back(FileDefinitions::NameHash(word));
    const auto mayDefineOne = [&](const FileRecord& file) {
        return std::any_of(hashes.begin(), hashes.end(),
                           [&](std::uint32_t hash) { return file->MayDefine(hash); });
    };
    std::unordered_set<std::string_view> defined;
    std::vector<std::pair<std::string_view, FolderPlace>> found;
    for (const FileRecord& file : index.files) {
        if (!mayDefineOne(file))
            continue;
        for (const IndexedDefinition& definition : file->Definitions())
            if (candidates.contains(definition.Name())) {
                defined.insert(definition.Name());
                found.emplace_back(
                    definition.Name(),
                    FolderPlace{std::string(file->Path()), definition.line, {}, false, {}, {}, {}});
            }
    }
    std::vector<std::string_view> named;
    std::copy_if(words.begin(), words.end(), std::back_inserter(named),
                 [&](std::string_view word) { return defined.contains(word); });
    NamedOnLine result;
    for (const std::string_view name : OutermostNames(named))
        result.names.emplace_back(name);
    for (auto& [name, place] : found)
        if (std::find(result.names.begin(), result.names.end(), name) != result.names.end())
            result.places.push_back(std::move(place));
    return result;
}

std::string_view Trimmed(std::string_view text) noexcept {
    const std::size_t start = std::min(text.find_first_not_of(" \t"), text.size());
    return text.substr(start, text.find_last_not_of(" \t") + 1 - start);
}

namespace {

// Whether a line now holds what `place`'s line held.
class HoldsText {
public:
    explicit HoldsText(const FolderPlace& place)
        : m_wanted(Trimmed(*place.text)), m_cut(place.textCut) {}
    bool operator()(std::string_view line) const {
        const std::string_view now = Trimmed(line);
        return m_cut ? now.starts_with(m_wanted) : now == m_wanted;
    }

private:
    std::string_view m_wanted;
    bool m_cut;
};

} // namespace

void CountSameText(FolderPlace& place, const LineStore& lines) {
    const HoldsText holds(place);
    std::size_t before = 0, count = 0;
    for (LineIndex line = 0; line < lines.Count(); ++line) {
        if (holds(lines.Line(line))) {
            before += line < place.line ? 1 : 0;
            ++count;
        }
    }
    place.sameTextBefore = before;
    place.sameTextCount = count;
    place.linesThen = lines.Count();
}

std::optional<LineIndex> LineNow(const FolderPlace& place, const LineStore& lines) {
    if (!place.text)
        return place.line < lines.Count() ? std::optional(place.line) : std::nullopt;
    const HoldsText text(place);
    const auto holds = [&](LineIndex line) { return text(lines.Line(line)); };
    const LineIndex count = static_cast<LineIndex>(lines.Count());
    // The lines written alike, in one pass: the one with as many of them before it as it had,
    // and the one nearest to where the file's growth or shrinking moved it.
    std::optional<LineIndex> nth, nearest;
    std::size_t seen = 0;
    if (place.sameTextBefore) {
        const std::int64_t moved = place.linesThen ? static_cast<std::int64_t>(count) -
                                                         static_cast<std::int64_t>(*place.linesThen)
                                                   : 0;
        const std::int64_t expected = static_cast<std::int64_t>(place.line) + moved;
        const auto away = [expected](LineIndex line) {
            return std::abs(static_cast<std::int64_t>(line) - expected);
        };
        for (LineIndex line = 0; line < count; ++line) {
            if (!holds(line))
                continue;
            if (seen++ == *place.sameTextBefore)
                nth = line;
            if (!nearest || away(line) < away(*nearest))
                nearest = line;
        }
    }
    if (place.sameTextCount && seen == *place.sameTextCount && nth)
        return nth;
    if (place.sameTextCount && place.linesThen && nearest)
        return nearest;
    // A line that still holds its text is the one meant: the uses before it may have been
    // renamed (F4, edit, save), which changes their order, not this line's place.
    if (place.line < count && holds(place.line))
        return place.line;
    if (nth)
        return nth;
    // Far enough for the edits of a save or two, near enough to stay quick in a huge file.
    constexpr LineIndex reach = 100'000;
    for (LineIndex away = 0; away <= reach; ++away) {
        if (place.line >= away && place.line - away < count && holds(place.line - away))
            return place.line - away;
        if (away > 0 && place.line + away < count && holds(place.line + away))
            return place.line + away;
        if (away > place.line && place.line + away >= count)
            break;
    }
    return std::nullopt;
}

namespace {

// A line as the outline shows it (UTF-8 where it is valid, Windows-1252 where it is not), cut
// to `most` characters as a node's label is: a row of a megabyte holds up the list's layout for
// seconds, and a header that long widens its window far past the screen.
QString LineText(std::string_view bytes, qsizetype most = OutlineModel::labelBytes) {
    // No character takes more than four bytes.
    const std::size_t decoded = std::min(bytes.size(), static_cast<std::size_t>(most) * 4);
    QString text = DecodeLineText(bytes.substr(0, decoded), IsValidUtf8(bytes));
    if (text.size() > most) {
        text.truncate(most);
        text += QChar(u'\u2026');
    }
    return text;
}

// How much of a name a header shows.
constexpr qsizetype headerNameCharacters = 80;

} // namespace

FolderListDialog::FolderListDialog(const QString& title, bool withFilter, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    resize(640, 420);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_header = new QLabel(this);
    m_header->setObjectName(QStringLiteral("Folder_Header"));
    // A deep folder or a long note wraps rather than widening the window past the screen.
    m_header->setWordWrap(true);
    auto* change = new QPushButton(QStringLiteral("Change folder..."), this);
    change->setObjectName(QStringLiteral("Change_Folder"));
    change->setAutoDefault(false);
    top->addWidget(m_header, 1);
    top->addWidget(change);
    layout->addLayout(top);
    if (withFilter) {
        m_filter = new QLineEdit(this);
        m_filter->setObjectName(QStringLiteral("Block_Filter"));
        m_filter->setPlaceholderText(QStringLiteral("Type part of a block's type or name"));
        layout->addWidget(m_filter);
    }
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("Folder_List"));
    m_list->setUniformItemSizes(true);
    layout->addWidget(m_list);
    FocusKeys();
    connect(change, &QPushButton::clicked, this, [this] {
        if (changeFolder)
            changeFolder();
        FocusKeys(); // back from the folder chooser
    });
    connect(m_list, &QListWidget::itemActivated, this, &FolderListDialog::Choose);
    // Enter on the list would choose through its activation and then come up to the dialog,
    // which would choose again: two jumps, one of them left in the back list.
    m_list->installEventFilter(this);
}

void FolderListDialog::FocusKeys() {
    // Keys go where they work the list: into the filter, or else the list itself.
    if (m_filter != nullptr)
        m_filter->setFocus();
    else
        m_list->setFocus();
}

void FolderListDialog::SetHeader(const QString& text) {
    m_headerText = text;
    m_header->setText(m_note.isEmpty() ? text : text + u'\n' + m_note);
}

void FolderListDialog::SetFailures(const std::vector<const Failure*>& failures, std::size_t count) {
    QStringList lines;
    const std::size_t named = std::min(failures.size(), failuresNamed);
    for (std::size_t i = 0; i < named; ++i)
        lines.append(SentenceOf(*failures[i]));
    if (count > named)
        lines.append(QStringLiteral("... and %1 more").arg(count - named));
    m_header->setToolTip(lines.join(u'\n'));
}

void FolderListDialog::SetNote(const QString& note) {
    m_note = note;
    SetHeader(m_headerText);
}

void FolderListDialog::ShowRows(const QStringList& rows, std::vector<FolderPlace> places,
                                bool append) {
    if (!append) {
        m_list->clear();
        m_places.clear();
        m_wentToRow = false;
    }
    m_list->addItems(rows);
    m_places.insert(m_places.end(), std::make_move_iterator(places.begin()),
                    std::make_move_iterator(places.end()));
    if (m_list->currentRow() < 0 && m_list->count() > 0)
        m_list->setCurrentRow(0);
}

QString FolderListDialog::Shown(const std::string& folder, std::string_view path) const {
    if (!folder.empty() && path.starts_with(folder) && path.size() > folder.size() &&
        (folder.back() == '/' || path[folder.size()] == '/'))
        path.remove_prefix(folder.size() + (folder.back() == '/' ? 0 : 1));
    // A line break in a file's name would make every row of the list two lines high.
    return TextFromPath(path).replace(u'\n', QChar(u'\u21B5'));
}

bool FolderListDialog::IsEnter(const QKeyEvent* event) noexcept {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

bool FolderListDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        IsEnter(static_cast<QKeyEvent*>(event))) {
        Choose();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void FolderListDialog::keyPressEvent(QKeyEvent* event) {
    // Up and Down move in the list while the typing goes on in the filter. At the list's end
    // the list passes the key back up to the dialog: it stops here then, not handed down again.
    if (m_filter != nullptr && !m_handingKeyToList &&
        (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up ||
         event->key() == Qt::Key_PageDown || event->key() == Qt::Key_PageUp)) {
        const QScopedValueRollback handing(m_handingKeyToList, true);
        QCoreApplication::sendEvent(m_list, event);
        event->accept();
        return;
    }
    if (IsEnter(event)) {
        Choose();
        return;
    }
    QDialog::keyPressEvent(event);
}

FolderListDialog::Step FolderListDialog::GoToNext(bool forward) {
    SettleRows();
    const int rows = static_cast<int>(std::min<std::size_t>(m_places.size(), m_list->count()));
    if (rows == 0 || !goTo)
        return Step::NoRows;
    // The row shown as current was not gone to yet: forward starts at the first, backward at
    // the last.
    const int row = m_wentToRow ? m_list->currentRow() : -1;
    const bool round = row >= 0 && (forward ? row == rows - 1 : row == 0);
    if (round && !EndNote(forward).isEmpty())
        return Step::AtEnd;
    const int next = row < 0 ? (forward ? 0 : rows - 1) : (row + (forward ? 1 : rows - 1)) % rows;
    m_list->setCurrentRow(next);
    m_wentToRow = true;
    goTo(PlaceAt(next));
    return Step::Went;
}

FolderPlace FolderListDialog::PlaceAt(int row) const {
    FolderPlace place = m_places[static_cast<std::size_t>(row)];
    if (!place.sameTextBefore || !place.text)
        return place;
    // The uses of a file written alike, as listed: while the file holds as many, the order
    // tells which is meant (a list still growing or cut short holds fewer).
    const HoldsText holds(place);
    place.sameTextCount = static_cast<std::size_t>(
        std::count_if(m_places.begin(), m_places.end(), [&](const FolderPlace& other) {
            return other.file == place.file && other.text && other.textCut == place.textCut &&
                   holds(*other.text);
        }));
    return place;
}

void FolderListDialog::Choose() {
    SettleRows();
    const int row = m_list->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= m_places.size() || !goTo) {
        // Typed before the folder was read, Enter goes to the best row once it is.
        m_chooseOnRows = row < 0 && RowsStillComing();
        return;
    }
    m_chooseOnRows = false;
    m_wentToRow = true;
    const FolderPlace place = PlaceAt(row);
    accept();
    goTo(place);
}

namespace {

// A slice of the go-to list's work stays well inside a frame.
constexpr std::chrono::milliseconds sliceBudget{8};
// Definitions ranked or counted between two looks at the clock.
constexpr std::size_t definitionsPerStep = 4096;

} // namespace

GoToBlockDialog::GoToBlockDialog(QWidget* parent)
    : FolderListDialog(QStringLiteral("Go to block"), true, parent) {
    connect(m_filter, &QLineEdit::textChanged, this, [this] {
        m_chooseOnRows = false; // the Enter was for what was typed before
        Refill();
    });
    m_work.setInterval(0); // runs whenever no event is waiting
    connect(&m_work, &QTimer::timeout, this, [this] { Work(sliceBudget); });
}

void GoToBlockDialog::SetIndex(FolderIndexSnapshot index) {
    // While the folder is read, a new state adds files after those already taken: a pass under
    // way goes on into them. Any other change (a file read again, another folder) starts over.
    const bool grows =
        m_index && index->folder == m_index->folder &&
        index->files.size() >= m_index->files.size() &&
        std::equal(m_index->files.begin(), m_index->files.end(), index->files.begin());
    if (!grows) {
        m_ranking.reset();
        m_counted.reset();
    }
    m_index = std::move(index);
    std::size_t blocks = 0;
    std::vector<const Failure*> failures;
    for (const Failure& failure : m_index->folderFailures)
        failures.push_back(&failure);
    for (const auto& file : m_index->files) {
        blocks += file->Definitions().size();
        if (file->failure)
            failures.push_back(file->failure.get());
    }
    SetFailures(failures, failures.size());
    QString header =
        (blocks == 1 ? QStringLiteral("%1 block in %2") : QStringLiteral("%1 blocks in %2"))
            .arg(blocks)
            .arg(TextFromPath(m_index->folder));
    if (!m_index->complete && m_index->filesTotal == 0)
        header += QStringLiteral(" (looking for files)");
    else if (!m_index->complete)
        header += QStringLiteral(" (reading %1 of %2 files)")
                      .arg(m_index->files.size())
                      .arg(m_index->filesTotal);
    else if (m_index->changesToRead > 0)
        header += m_index->changesToRead == 1
                      ? QStringLiteral(" (reading 1 changed file)")
                      : QStringLiteral(" (reading %1 changed files)").arg(m_index->changesToRead);
    // Files and folders both: the tooltip names them.
    if (!failures.empty())
        header += (failures.size() == 1 ? QStringLiteral(", %1 file or folder could not be read")
                                        : QStringLiteral(", %1 files or folders could not be read"))
                      .arg(failures.size());
    if (m_index->unfollowed > 0)
        header += (m_index->unfollowed == 1
                       ? QStringLiteral("; changes in %1 folder are not followed: %2")
                       : QStringLiteral("; changes in %1 folders are not followed: %2"))
                      .arg(m_index->unfollowed)
                      .arg(QString::fromStdString(m_index->unfollowedReason));
    SetHeader(header);
    // Ranking every block again is what costs: while the folder is read, a few times a second.
    if (m_index->complete || !m_sinceRefill.isValid() || m_sinceRefill.elapsed() > 300)
        Refill();
    else
        Work(sliceBudget);
}

void GoToBlockDialog::ShowAll() {
    m_chooseOnRows = false;
    m_only.clear();
    m_filter->clear();
    m_filter->setFocus();
    Refill();
}

void GoToBlockDialog::ShowOnly(std::vector<std::string> names) {
    m_only = std::move(names);
    m_filter->clear();
    Refill();
}

void GoToBlockDialog::SettleRows() {
    Work(std::chrono::nanoseconds::max());
}

void GoToBlockDialog::Refill() {
    m_sinceRefill.start();
    // Rows ranked for another text must not stand under this one while a long ranking runs.
    std::string query = PathFromText(m_filter->text().trimmed());
    if (query != m_rowsQuery || m_only != m_rowsOnly) {
        ShowRows({}, {});
        m_rowsQuery = query;
        m_rowsOnly = m_only;
    }
    m_ranking.emplace(std::move(query), mostRows);
    m_ranked = {};
    m_counted.reset();
    Work(sliceBudget);
}

template <typename OnDefinition>
bool GoToBlockDialog::Pass(Cursor& at, std::size_t count, OnDefinition&& onDefinition) const {
    for (; at.file < m_index->files.size(); at = {at.file + 1, 0}) {
        const FileDefinitions::DefinitionList definitions = m_index->files[at.file]->Definitions();
        for (; at.definition < definitions.size(); ++at.definition) {
            if (count-- == 0)
                return true;
            onDefinition(std::uint64_t{at.file} << 32 | at.definition, definitions[at.definition]);
        }
    }
    return false;
}

IndexedDefinition GoToBlockDialog::DefinitionAt(std::uint64_t place) const {
    return m_index->files[place >> 32]->Definitions()[place & 0xFFFF'FFFFu];
}

void GoToBlockDialog::Work(std::chrono::nanoseconds budget) {
    QElapsedTimer clock;
    clock.start();
    const auto goOnLater = [&] {
        if (std::chrono::nanoseconds(clock.nsecsElapsed()) < budget)
            return false;
        m_work.start();
        return true;
    };
    const auto rank = [this](std::uint64_t place, const IndexedDefinition& definition) {
        if (m_only.empty() ||
            std::find(m_only.begin(), m_only.end(), definition.Name()) != m_only.end())
            m_ranking->Offer(place, definition.Type(), definition.Name());
    };
    while (m_ranking && m_index) {
        if (!Pass(m_ranked, definitionsPerStep, rank))
            StartCounting();
        else if (goOnLater())
            return;
    }
    const auto count = [this](std::uint64_t, const IndexedDefinition& definition) {
        if (definition.text.size() >= m_lengths.size() || !m_lengths[definition.text.size()])
            return;
        const auto found =
            m_bestByHash.find(DefinitionCounts::HashOf(definition.Type(), definition.Name()));
        if (found == m_bestByHash.end())
            return;
        for (const std::size_t row : found->second) {
            const IndexedDefinition best = DefinitionAt(m_best[row]);
            if (DefinitionCounts::SameBlock(best.Type(), best.Name(), definition.Type(),
                                            definition.Name()))
                ++m_timesDefined[row];
        }
    };
    while (m_counted) {
        if (!Pass(*m_counted, definitionsPerStep, count)) {
            m_counted.reset();
            ShowBest();
        } else if (goOnLater()) {
            return;
        }
    }
    m_work.stop();
}

void GoToBlockDialog::StartCounting() {
    const std::vector<std::size_t> best = m_ranking->Best();
    m_ranking.reset();
    m_best.assign(best.begin(), best.end());
    m_timesDefined.assign(m_best.size(), 0);
    m_bestByHash.clear();
    m_lengths.clear();
    for (std::size_t row = 0; row < m_best.size(); ++row) {
        const IndexedDefinition definition = DefinitionAt(m_best[row]);
        m_bestByHash[DefinitionCounts::HashOf(definition.Type(), definition.Name())].push_back(row);
        m_lengths.resize(std::max(m_lengths.size(), definition.text.size() + 1));
        m_lengths[definition.text.size()] = true;
    }
    m_counted.emplace(Cursor{});
}

void GoToBlockDialog::ShowBest() {
    QStringList rows;
    std::vector<FolderPlace> places;
    for (std::size_t row = 0; row < m_best.size(); ++row) {
        const IndexedDefinition definition = DefinitionAt(m_best[row]);
        const std::string_view path = m_index->files[m_best[row] >> 32]->Path();
        QString text = QStringLiteral("%1 \u2014 %2:%3")
                           .arg(LineText(definition.text), Shown(m_index->folder, path))
                           .arg(definition.line + 1);
        if (m_timesDefined[row] > 1)
            text += QStringLiteral("   (defined %1 times)").arg(m_timesDefined[row]);
        rows.append(text);
        places.push_back(FolderPlace{std::string(path), definition.line, {}, false, {}, {}, {}});
    }
    ShowRows(rows, std::move(places));
    if (m_chooseOnRows && !RowsStillComing())
        QTimer::singleShot(0, this, [this] {
            if (m_chooseOnRows)
                Choose();
        });
    emit rowsShown();
}

UsesDialog::UsesDialog(UseSearch& search, QWidget* parent)
    : FolderListDialog(QStringLiteral("Find uses"), false, parent), m_search(search) {
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("Stop_Search"));
    m_stop->setAutoDefault(false);
    layout()->addWidget(m_stop);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        m_search.Cancel();
        TakeFound(); // what was found before the stop is listed still
    });
    m_listMore.setSingleShot(true);
    m_listMore.setInterval(0); // once the events waiting have run
    connect(&m_listMore, &QTimer::timeout, this, &UsesDialog::ListSome);
    connect(&m_search, &UseSearch::found, this, &UsesDialog::TakeFound);
    connect(&m_search, &UseSearch::finished, this, &UsesDialog::TakeFound);
    // Closing the list stops the search it shows.
    connect(this, &QDialog::finished, &m_search, &UseSearch::Cancel);
}

void UsesDialog::Follow(const std::string& folder) {
    m_folder = folder;
    m_count = 0;
    m_unreadable = 0;
    m_failures.clear();
    m_unlisted.clear();
    m_countedFile.clear();
    m_textsListed.clear();
    ShowRows({}, {});
    TakeFound();
}

void UsesDialog::TakeFound() {
    std::vector<FoundUse> found = m_search.TakeFound();
    m_count += found.size();
    m_unlisted.insert(m_unlisted.end(), std::make_move_iterator(found.begin()),
                      std::make_move_iterator(found.end()));
    for (Failure& failure : m_search.TakeFailures()) {
        ++m_unreadable;
        if (m_failures.size() < failuresNamed)
            m_failures.push_back(std::move(failure));
    }
    ListSome();
}

void UsesDialog::ListSome() {
    try {
        ListRows();
    } catch (const std::bad_alloc&) {
        // Millions of uses may not fit: the search ends, what is listed stays, and the list
        // says why it ends there.
        m_search.Cancel();
        std::deque<FoundUse>().swap(m_unlisted);
        ++m_unreadable;
        m_failures.push_back(NotEnoughMemory("list more uses"));
        ShowCount();
        emit listed();
    }
}

void UsesDialog::ListRows() {
    QElapsedTimer clock;
    clock.start();
    QStringList rows;
    std::vector<FolderPlace> places;
    // The clock is looked at every few rows: a row costs a few microseconds.
    constexpr qsizetype rowsPerLook = 64;
    while (!m_unlisted.empty() &&
           (rows.size() % rowsPerLook != 0 || clock.elapsed() < sliceBudget.count())) {
        FoundUse& use = m_unlisted.front();
        // A line cut short says so.
        const QString text = LineText(use.text) + (use.cut ? QStringLiteral("...") : QString());
        rows.append(QStringLiteral("%1:%2: %3")
                        .arg(Shown(m_folder, use.file))
                        .arg(use.line + 1)
                        .arg(text.trimmed()));
        if (use.file != m_countedFile) {
            m_countedFile = use.file;
            m_textsListed.clear();
        }
        const std::size_t before = m_textsListed[std::string(Trimmed(use.text))]++;
        places.push_back(FolderPlace{
            std::move(use.file), use.line, std::move(use.text), use.cut, before, {}, {}});
        m_unlisted.pop_front();
    }
    if (!places.empty())
        ShowRows(rows, std::move(places), true);
    ShowCount();
    if (!m_unlisted.empty())
        m_listMore.start();
    else
        emit listed();
}

QString UsesDialog::EndNote(bool forward) const {
    const QString end = forward
                            ? QStringLiteral("That was the last use listed, not the last there "
                                             "is")
                            : QStringLiteral("That was the first use listed: going round to the "
                                             "last listed would pass over those not listed");
    if (m_search.StoppedAtMost())
        return QStringLiteral("%1: the search stops at the first %2 (ini-outline --uses lists them "
                              "all)")
            .arg(end)
            .arg(m_count);
    if (m_search.Cancelled())
        return QStringLiteral("%1: the search was stopped before it had searched every file")
            .arg(end);
    return {};
}

void UsesDialog::ShowCount() {
    const QString name = LineText(m_search.Name(), headerNameCharacters);
    QString header = (m_count == 1 ? QStringLiteral("%1 use of %2 in %3")
                                   : QStringLiteral("%1 uses of %2 in %3"))
                         .arg(m_count)
                         .arg(name, TextFromPath(m_folder));
    if (m_unreadable > 0)
        header += (m_unreadable == 1 ? QStringLiteral(", %1 file could not be read")
                                     : QStringLiteral(", %1 files could not be read"))
                      .arg(m_unreadable);
    std::vector<const Failure*> failures;
    for (const Failure& failure : m_failures)
        failures.push_back(&failure);
    SetFailures(failures, m_unreadable);
    if (m_search.StoppedAtMost())
        header += QStringLiteral(" (the first %1: the search stops there)").arg(m_count);
    if (m_search.Running())
        header += QStringLiteral(" (searching)");
    else if (m_search.Cancelled())
        header += QStringLiteral(" (stopped: not every file was searched)");
    SetHeader(header);
    m_stop->setEnabled(m_search.Running());
}

} // namespace ini
