#pragma once

#include "outline/line_store.h"
#include "outline/plain_outline.h"

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

// The repository's source folder, from the INI_SOURCE_DIR environment variable.
std::filesystem::path SourceDir();

} // namespace ini::test
