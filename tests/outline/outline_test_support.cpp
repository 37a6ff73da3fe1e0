#include "outline_test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace ini::test {

TempFile::TempFile(std::string_view contents, std::string_view name) {
    std::random_device random;
    m_folder = std::filesystem::temp_directory_path() /
               ("ini-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(m_folder);
    m_path = (m_folder / name).string();
    std::ofstream file(m_path, std::ios::binary);
    file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!file)
        throw std::runtime_error("cannot write " + m_path);
}

TempFile::~TempFile() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::filesystem::path SourceDir() {
    const char* dir = std::getenv("INI_SOURCE_DIR");
    if (dir == nullptr)
        throw std::runtime_error("INI_SOURCE_DIR is not set");
    return dir;
}

} // namespace ini::test
