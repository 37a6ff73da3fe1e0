#include "ui/folder_views.h"

#include "outline/index/file_index.h"
#include "ui/path_text.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace ini {

FolderListDialog::FolderListDialog(const QString& title, bool withFilter, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    resize(640, 420);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_header = new QLabel(this);
    m_header->setObjectName(QStringLiteral("Folder_Header"));
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
    connect(change, &QPushButton::clicked, this, [this] {
        if (changeFolder)
            changeFolder();
    });
    connect(m_list, &QListWidget::itemActivated, this, &FolderListDialog::Choose);
}

void FolderListDialog::SetHeader(const QString& text) {
    m_header->setText(text);
}

void FolderListDialog::ShowRows(const QStringList& rows, std::vector<FolderPlace> places,
                                bool append) {
    if (!append) {
        m_list->clear();
        m_places.clear();
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
        return TextFromPath(
            std::string(path.substr(folder.size() + (folder.back() == '/' ? 0 : 1))));
    return TextFromPath(std::string(path));
}

void FolderListDialog::keyPressEvent(QKeyEvent* event) {
    // Up and Down move in the list while the typing goes on in the filter.
    if (m_filter != nullptr &&
        (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up ||
         event->key() == Qt::Key_PageDown || event->key() == Qt::Key_PageUp)) {
        QCoreApplication::sendEvent(m_list, event);
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Choose();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FolderListDialog::Choose() {
    SettleRows();
    const int row = m_list->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= m_places.size() || !goTo)
        return;
    const FolderPlace place = m_places[static_cast<std::size_t>(row)];
    accept();
    goTo(place);
}

namespace {

// A slice of the go-to list's work stays well inside a frame.
constexpr std::chrono::milliseconds sliceBudget{8};
// Definitions taken in or ranked between two looks at the clock.
constexpr std::size_t definitionsPerStep = 4096;

} // namespace

GoToBlockDialog::GoToBlockDialog(QWidget* parent)
    : FolderListDialog(QStringLiteral("Go to block"), true, parent) {
    connect(m_filter, &QLineEdit::textChanged, this, &GoToBlockDialog::Refill);
    m_work.setInterval(0); // runs whenever no event is waiting
    connect(&m_work, &QTimer::timeout, this, [this] { Work(sliceBudget); });
}

void GoToBlockDialog::SetIndex(FolderIndexSnapshot index) {
    // While the folder is read, a new state adds files after those already taken: only those are
    // counted. Any other change (a file read again, another folder) starts over.
    const bool grows =
        m_index && index->folder == m_index->folder &&
        index->files.size() >= m_index->files.size() &&
        std::equal(m_index->files.begin(), m_index->files.end(), index->files.begin());
    if (!grows) {
        m_entries.clear();
        m_timesDefined.Clear();
        m_taken = {0, 0};
        m_ranking.reset();
    }
    m_index = std::move(index);
    std::size_t blocks = 0;
    std::size_t unreadable = 0;
    for (const auto& file : m_index->files) {
        blocks += file->Definitions().size();
        unreadable += file->failure ? 1 : 0;
    }
    // Room for all at once, when the table starts empty: growing it later moves every entry in
    // one go, which for millions of them holds up the window.
    if (m_entries.empty())
        m_timesDefined.Reserve(blocks);
    QString header =
        QStringLiteral("%1 blocks in %2").arg(blocks).arg(TextFromPath(m_index->folder));
    if (!m_index->complete)
        header += QStringLiteral(" (reading %1 of %2 files)")
                      .arg(m_index->files.size())
                      .arg(m_index->filesTotal);
    if (const std::size_t failed = unreadable + m_index->folderFailures.size(); failed > 0)
        header += QStringLiteral(", %1 could not be read").arg(failed);
    if (m_index->unfollowed > 0)
        header += QStringLiteral("; changes in %1 folders are not followed: %2")
                      .arg(m_index->unfollowed)
                      .arg(QString::fromStdString(m_index->unfollowedReason));
    SetHeader(header);
    // Ranking every block again is what costs: while the folder is read, a few times a second.
    // Between those, a ranking under way takes in the new blocks as it goes.
    if (m_index->complete || !m_sinceRefill.isValid() || m_sinceRefill.elapsed() > 300)
        Refill();
    else
        Work(sliceBudget);
}

void GoToBlockDialog::ShowAll() {
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
    m_ranking.emplace(PathFromText(m_filter->text().trimmed()), mostRows);
    m_ranked = 0;
    Work(sliceBudget);
}

bool GoToBlockDialog::TableComplete() const noexcept {
    return !m_index || m_taken.file == m_index->files.size();
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
    while (!TableComplete()) {
        for (std::size_t step = 0; step < definitionsPerStep && !TableComplete(); ++step)
            TakeNextDefinition();
        if (goOnLater())
            return;
    }
    while (m_ranking && m_ranked < m_entries.size()) {
        const std::size_t end = std::min(m_entries.size(), m_ranked + definitionsPerStep);
        for (; m_ranked < end; ++m_ranked) {
            const auto [type, name] = WordsOf(m_ranked);
            if (m_only.empty() || std::find(m_only.begin(), m_only.end(), name) != m_only.end())
                m_ranking->Offer(m_ranked, type, name);
        }
        if (m_ranked < m_entries.size() && goOnLater())
            return;
    }
    m_work.stop();
    if (m_ranking)
        ShowBest();
}

void GoToBlockDialog::TakeNextDefinition() {
    const FileDefinitions& file = *m_index->files[m_taken.file];
    if (m_taken.definition < file.Definitions().size()) {
        m_entries.push_back(m_taken);
        m_timesDefined.Add(m_entries.size() - 1);
        ++m_taken.definition;
    }
    if (m_taken.definition == file.Definitions().size())
        m_taken = {m_taken.file + 1, 0};
}

void GoToBlockDialog::ShowBest() {
    const std::vector<std::size_t> best = m_ranking->Best();
    m_ranking.reset();
    QStringList rows;
    std::vector<FolderPlace> places;
    for (const std::size_t i : best) {
        const Entry& entry = m_entries[i];
        const IndexedDefinition definition = DefinitionOf(i);
        QString row =
            QStringLiteral("%1 \u2014 %2:%3")
                .arg(TextFromPath(definition.text), Shown(m_index->folder, FileOf(entry).Path()))
                .arg(definition.line + 1);
        if (const std::size_t times = m_timesDefined.TimesDefined(i); times > 1)
            row += QStringLiteral("   (defined %1 times)").arg(times);
        rows.append(row);
        places.push_back(FolderPlace{std::string(FileOf(entry).Path()), definition.line});
    }
    ShowRows(rows, std::move(places));
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
        ShowCount();
    });
    connect(&m_search, &UseSearch::found, this, &UsesDialog::TakeFound);
    connect(&m_search, &UseSearch::finished, this, [this] {
        TakeFound();
        ShowCount();
    });
    // Closing the list stops the search it shows.
    connect(this, &QDialog::finished, &m_search, &UseSearch::Cancel);
}

void UsesDialog::Follow(const std::string& folder) {
    m_folder = folder;
    m_count = 0;
    m_unreadable = 0;
    ShowRows({}, {});
    TakeFound();
    ShowCount();
}

void UsesDialog::TakeFound() {
    QStringList rows;
    std::vector<FolderPlace> places;
    for (FoundUse& use : m_search.TakeFound()) {
        rows.append(QStringLiteral("%1:%2: %3")
                        .arg(Shown(m_folder, use.file))
                        .arg(use.line + 1)
                        .arg(TextFromPath(use.text).trimmed()));
        places.push_back(FolderPlace{std::move(use.file), use.line});
    }
    m_count += places.size();
    m_unreadable += m_search.TakeFailures().size();
    if (!places.empty())
        ShowRows(rows, std::move(places), true);
    ShowCount();
}

void UsesDialog::ShowCount() {
    const QString name = TextFromPath(m_search.Name());
    QString header = (m_count == 1 ? QStringLiteral("%1 use of %2 in %3")
                                   : QStringLiteral("%1 uses of %2 in %3"))
                         .arg(m_count)
                         .arg(name, TextFromPath(m_folder));
    if (m_unreadable > 0)
        header += QStringLiteral(", %1 files could not be read").arg(m_unreadable);
    if (m_search.StoppedAtMost())
        header += QStringLiteral(" (the first %1: the search stops there)").arg(m_count);
    if (m_search.Running())
        header += QStringLiteral(" (searching)");
    SetHeader(header);
    m_stop->setEnabled(m_search.Running());
}

} // namespace ini
