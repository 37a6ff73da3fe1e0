#include "ui/folder_list.h"

#include "ui/folder_entries_model.h"
#include "ui/path_text.h"

#include <QApplication>
#include <QDir>
#include <QStyle>

#include <utility>

namespace ini {

// The shown folder's ancestors as a chain of single children, the shown folder last, and its
// subfolders as that last link's children. A link of the chain carries its depth as internal id
// (0 for "/"); every subfolder carries the chain's length.
class FolderModel final : public FolderEntriesModel {
public:
    explicit FolderModel(QObject* parent) : FolderEntriesModel(Wanted::Folders, parent) {}

    const QString& Path() const noexcept { return m_path; }

    void Show(const QString& path) {
        beginResetModel();
        m_path = path;
        m_chain = QStringList{QStringLiteral("/")};
        m_chain += path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        ListFolder(PathFromText(path));
        endResetModel();
    }

    QModelIndex Tail() const { return createIndex(0, 0, Last()); }
    QModelIndex ChainIndex(int depth) const { return createIndex(0, 0, depth); }
    int ChainLength() const { return static_cast<int>(m_chain.size()); }

    // The full path of the folder at `index`.
    QString PathAt(const QModelIndex& index) const {
        const quintptr id = index.internalId();
        if (id == Entries())
            return (m_path == QLatin1String("/") ? QString() : m_path) + QLatin1Char('/') +
                   EntryName(index.row());
        const QStringList names = m_chain.mid(1, static_cast<qsizetype>(id));
        return QLatin1Char('/') + names.join(QLatin1Char('/'));
    }

    QModelIndex index(int row, int column, const QModelIndex& parent) const override {
        if (column != 0 || row < 0)
            return {};
        if (!parent.isValid())
            return row == 0 ? ChainIndex(0) : QModelIndex();
        const quintptr id = parent.internalId();
        if (id < Last())
            return row == 0 ? createIndex(0, 0, id + 1) : QModelIndex();
        if (id == Last() && row < EntryCount())
            return createIndex(row, 0, Entries());
        return {};
    }
    QModelIndex parent(const QModelIndex& child) const override {
        if (!child.isValid() || child.internalId() == 0)
            return {};
        return createIndex(0, 0, child.internalId() - 1);
    }
    int rowCount(const QModelIndex& parent) const override {
        if (!parent.isValid())
            return 1;
        const quintptr id = parent.internalId();
        return id < Last() ? 1 : id == Last() ? EntryCount() : 0;
    }
    bool hasChildren(const QModelIndex& parent) const override {
        return !parent.isValid() || parent.internalId() <= Last();
    }
    int columnCount(const QModelIndex&) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        const quintptr id = index.internalId();
        if (role == Qt::DisplayRole)
            return id == Entries() ? EntryName(index.row()) : m_chain.at(static_cast<int>(id));
        if (role == Qt::DecorationRole) {
            return QApplication::style()->standardIcon(id == Entries() ? QStyle::SP_DirClosedIcon
                                                                       : QStyle::SP_DirOpenIcon);
        }
        return {};
    }

protected:
    QModelIndex EntriesParent() const override { return Tail(); }
    QModelIndex EntryIndex(int row) const override { return createIndex(row, 0, Entries()); }

private:
    quintptr Last() const { return static_cast<quintptr>(m_chain.size() - 1); }
    quintptr Entries() const { return static_cast<quintptr>(m_chain.size()); }

    QString m_path;
    QStringList m_chain{QStringLiteral("/")};
};

FolderList::FolderList(QWidget* parent) : QTreeView(parent), m_model(new FolderModel(this)) {
    setModel(m_model);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(8);
    setUniformRowHeights(true);
    setEditTriggers(NoEditTriggers);
    // The shown folder goes to the top once its subfolders are there to fill the rows below it.
    connect(m_model, &QAbstractItemModel::layoutChanged, this, [this] {
        if (std::exchange(m_placePending, false))
            scrollTo(m_model->Tail(), PositionAtTop);
    });
    // Opening refills the list, so it waits until the item that was activated is done with.
    connect(this, &QTreeView::activated, this, [this](const QModelIndex& index) {
        const QString path = m_model->PathAt(index);
        QMetaObject::invokeMethod(
            this, [this, path] { Open(path); }, Qt::QueuedConnection);
    });
}

QString FolderList::Path() const {
    return m_model->Path();
}

bool FolderList::SetPath(const QString& path) {
    const QString absolute =
        path.startsWith(QLatin1Char('/')) ? path : CurrentFolderText() + QLatin1Char('/') + path;
    const QString clean = QDir::cleanPath(absolute);
    if (!CanList(PathFromText(clean)))
        return false;
    if (clean == m_model->Path())
        return true;
    m_model->Show(clean);
    for (int depth = 0; depth < m_model->ChainLength(); ++depth)
        expand(m_model->ChainIndex(depth));
    setCurrentIndex(m_model->Tail());
    scrollTo(m_model->Tail(), PositionAtTop);
    m_placePending = true;
    emit pathChanged();
    return true;
}

bool FolderList::Listed() const {
    return m_model->Listed();
}

void FolderList::Open(const QString& path) {
    // A folder that cannot be entered stays unopened; the beep says the click was heard.
    if (!SetPath(path))
        QApplication::beep();
}

} // namespace ini
