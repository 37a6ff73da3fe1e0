#pragma once

#include <QRect>
#include <QSize>

// Where the window's controls sit, in pixels at 96 dots per inch. The places and sizes are fixed:
// a resize of the window moves nothing. The window and its tests read them from here.
namespace ini::layout {

inline constexpr QSize clientArea(666, 351);

inline constexpr QRect treeView1(14, 35, 469, 281);
inline constexpr QRect txtFilename(14, 7, 394, 19);
inline constexpr QRect cmdLoad(420, 7, 58, 21);
inline constexpr QRect drive1(490, 7, 162, 21);
inline constexpr QRect dir1(490, 35, 162, 111);
inline constexpr QRect file1(490, 154, 162, 162);
inline constexpr QRect command1(14, 322, 218, 22);
inline constexpr QRect chkComments(245, 329, 309, 13);
// Shown only when the file has problems, clear of the check box's caption.
inline constexpr QRect problemCount(560, 326, 92, 17);
// Shown only while finding: over the check box, clear of the editor button.
inline constexpr QRect findBar(240, 320, 412, 27);

} // namespace ini::layout
