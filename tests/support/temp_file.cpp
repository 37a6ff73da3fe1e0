#include "support/temp_file.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include <sys/mman.h>
#include <unistd.h>

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

MemoryFile::MemoryFile(std::string_view contents) : m_fd(::memfd_create("ini-test", 0)) {
    if (m_fd < 0)
        return;
    for (std::string_view left = contents; !left.empty();) {
        const ssize_t written = ::write(m_fd, left.data(), left.size());
        if (written <= 0)
            return;
        left.remove_prefix(static_cast<std::size_t>(written));
    }
    m_path = "/proc/self/fd/" + std::to_string(m_fd);
}

MemoryFile::~MemoryFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace ini::test
