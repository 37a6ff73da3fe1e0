#include "notepad/text_search.h"

namespace ini {

namespace {

// The needle's column in text at or after column `from` (forward), or before it (backward);
// -1 when there is none.
qsizetype FindInLine(const QString& text, QStringView needle, qsizetype from,
                     SearchDirection direction) {
    if (direction == SearchDirection::Forward)
        return text.indexOf(needle, from, Qt::CaseInsensitive);
    // lastIndexOf reads -1 as "from the end", so a search before column 0 must not reach it.
    return from > 0 ? text.lastIndexOf(needle, from - 1, Qt::CaseInsensitive) : -1;
}

} // namespace

std::optional<FoundText> FindText(qint64 lineCount, const std::function<QString(qint64)>& lineText,
                                  TextPlace from, QStringView needle, SearchDirection direction,
                                  const std::function<void(qint64 looked)>& looked) {
    constexpr qint64 linesBetweenLooks = 4096;
    if (needle.isEmpty() || from.line < 0 || from.line >= lineCount || from.column < 0)
        return std::nullopt;
    const qint64 step = direction == SearchDirection::Forward ? 1 : -1;
    // The last step comes back to the first line, for the part of it the first step skipped.
    for (qint64 steps = 0; steps <= lineCount; ++steps) {
        if (looked && steps % linesBetweenLooks == linesBetweenLooks - 1)
            looked(steps);
        const qint64 line = ((from.line + step * steps) % lineCount + lineCount) % lineCount;
        const QString text = lineText(line);
        const qsizetype start = steps == 0
                                    ? from.column
                                    : (direction == SearchDirection::Forward ? 0 : text.size() + 1);
        const qsizetype column = FindInLine(text, needle, start, direction);
        if (column >= 0)
            return FoundText{line, column, needle.size()};
    }
    return std::nullopt;
}

} // namespace ini
