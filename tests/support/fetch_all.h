#pragma once

#include <QAbstractItemModel>

namespace ini::test {

// Hands every row of one level of a lazily fetching model to the caller, as a view scrolled to
// the level's end would get them.
inline void FetchAll(QAbstractItemModel& model, const QModelIndex& parent) {
    while (model.canFetchMore(parent))
        model.fetchMore(parent);
}

} // namespace ini::test
