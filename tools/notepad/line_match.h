#pragma once

#include <QString>

#include <vector>

namespace ini {

// Which line of a loaded text each line of an edited text continues, so a line can keep its
// own terminator through edits. Lines the two texts share, as a shortest edit script finds
// them (for an edit too large for one, anchored on the lines that stand once in each), continue
// each other. Between two such lines, the changed lines are paired from the
// last one up: a line split in two continues as its second part (the break the user typed
// is the first part's end), and two lines joined continue as the second one's end.
// Gives, for each edited line, the index of the loaded line it continues, or -1 for a line
// that continues none.
std::vector<qsizetype> MatchLines(const std::vector<QString>& loaded,
                                  const std::vector<QString>& edited);

} // namespace ini
