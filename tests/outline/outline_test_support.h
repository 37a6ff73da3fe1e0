#pragma once

#include "outline/nodes/plain_outline.h"
#include "outline/read/line_store.h"
#include "outline/walk/outline_builder.h"
#include "support/temp_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

namespace ini::test {

// A line store, a plain outline and the walk's hooks, with the comment switch off until a test
// sets `comments`.
class OutlineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        keywords.InitKeywords();
        hooks.showComments = &comments;
    }

    Keywords keywords;
    LineStore lines;
    PlainOutline outline;
    FileLoader loader;
    WalkHooks hooks;
    std::atomic<bool> comments{false};
};

// The keyword table, made once; it outlives whatever refers to it.
inline const Keywords& TheKeywords() {
    static const Keywords keywords = [] {
        Keywords made;
        made.InitKeywords();
        return made;
    }();
    return keywords;
}

// The repository's source folder, from the INI_SOURCE_DIR environment variable.
std::filesystem::path SourceDir();

} // namespace ini::test
