#pragma once

class QAbstractItemView;

namespace ini {

// The window's three lists show their selected row in the same colour whether or not they take
// the keys, so a keyboard user cannot tell which one an arrow key moves. From this call on,
// `view` shows its selection in the highlight colour only while it has the focus, and in a
// muted one otherwise.
void MarkFocusBySelection(QAbstractItemView& view);

} // namespace ini
