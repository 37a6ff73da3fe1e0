#pragma once

#include "parse/result.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

namespace ini {

enum class SearchDirection { Forward, Backward };

// Where a search found its text: on one line, from column for length characters.
struct FoundText {
    qint64 line = 0;
    qsizetype column = 0;
    qsizetype length = 0;

    friend bool operator==(const FoundText&, const FoundText&) = default;
};

// The first place, case-insensitively, where needle occurs in the lines (0 to lineCount - 1,
// line i as lineText(i) gives it) going from `from` in the direction, round the end or start
// to `from` again. Forward, a match may start at `from`; backward, it starts before it. Nothing
// when no line holds the needle, the needle is empty, or `from` lies outside the lines.
// `looked`, when given, is told every few thousand lines how many were looked at, so that a
// search through millions of lines can keep the window painted.
std::optional<FoundText> FindText(qint64 lineCount, const std::function<QString(qint64)>& lineText,
                                  TextPlace from, QStringView needle, SearchDirection direction,
                                  const std::function<void(qint64 looked)>& looked = {});

} // namespace ini
