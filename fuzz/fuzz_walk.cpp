// Arbitrary bytes through line cutting, splitting and the line walk; checks what a content is.

#include "outline/nodes/plain_outline.h"
#include "outline/walk/outline_builder.h"
#include "parse/line_walk.h"
#include "support/temp_file.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ini::Keywords keywords = [] {
        ini::Keywords k;
        k.InitKeywords();
        return k;
    }();
    const ini::test::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    ini::LineStore lines;
    ini::PlainOutline outline;
    ini::FileLoader loader;
    if (loader.LoadFile(file.Path(), lines, outline, keywords, {}).status != ini::WalkStatus::Done)
        std::abort();
    if (lines.Empty())
        return 0;
    ini::LineSplitter splitter;
    std::size_t opened = 0;
    ini::WalkLines(
        lines, 0, lines.Count() - 1, keywords, [size] { return size % 2 == 0; },
        [&](const ini::WalkedLine& line) {
            const ini::SplitLine parts = splitter.ParseLine(line.text.line, line.text.showComments);
            const std::string_view c = parts.content;
            // What the walk skipped and what the splitter calls empty must agree.
            if (c.empty() || c.front() == ' ' || c.back() == ' ' ||
                c.find("  ") != std::string_view::npos || c.find(';') != std::string_view::npos)
                std::abort();
            if (line.text.line.find_first_of("\r\n") != std::string_view::npos)
                std::abort();
            if (line.stacks.Depth() > 3)
                std::abort();
            // Classifying by the raw line's first word must agree with classifying the content.
            if (ini::ClassifyLine(c, line.stacks, keywords).lineClass != line.lineClass)
                std::abort();
            opened += line.lineClass == ini::LineClass::Opener;
        },
        [] { return true; });
    return 0;
}
