#pragma once

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

// A file in memory only, named by a path under /proc, closed with the object: for fuzzers, which
// make one a run and must not wear the disk. The path is empty when no such file could be made.
class MemoryFile {
public:
    explicit MemoryFile(std::string_view contents);
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};

} // namespace ini::test
