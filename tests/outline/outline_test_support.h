#pragma once

#include "outline/read/line_store.h"
#include "outline/walk/outline_builder.h"
#include "outline/nodes/plain_outline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>

namespace ini::test {

// A file in a fresh temporary folder, removed with the object.
class TempFile {
public:
    explicit TempFile(std::string_view contents, std::string_view name = "file.ini");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Path() const { return m_path; }
    const std::filesystem::path& Folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
    std::string m_path;
};

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

// The repository's source folder, from the INI_SOURCE_DIR environment variable.
std::filesystem::path SourceDir();

} // namespace ini::test
