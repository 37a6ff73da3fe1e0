#pragma once

#include "outline/nodes/plain_outline.h"
#include "outline/read/line_store.h"
#include "outline/walk/outline_builder.h"
#include "parse/keywords.h"

#include <cstddef>
#include <optional>
#include <string>

namespace ini::test {

struct LoadOptions {
    bool comments = false;      // the comment switch, for the load and every click
    bool clickEveryRoot = true; // false: the top level only, as the load leaves it
};

// A file's outline as the window makes it: loaded, then every root clicked once, in file order.
struct LoadedOutline {
    LineStore lines;
    PlainOutline outline;
    WalkResult load;
    std::size_t clicksRefused = 0;     // adds the clicks had refused; none in a sound run
    std::optional<Failure> clickError; // the first click that failed
};

LoadedOutline LoadOutline(const std::string& path, const Keywords& keywords,
                          const LoadOptions& options = {});

} // namespace ini::test
