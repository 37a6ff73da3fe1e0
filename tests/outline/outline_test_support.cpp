#include "outline_test_support.h"

#include <cstdlib>
#include <stdexcept>

namespace ini::test {

std::filesystem::path SourceDir() {
    const char* dir = std::getenv("INI_SOURCE_DIR");
    if (dir == nullptr)
        throw std::runtime_error("INI_SOURCE_DIR is not set");
    return dir;
}

} // namespace ini::test
