#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace ini {

// One name for every byte a file name can hold, NUL and "/" aside: "x" and the byte, so that
// each byte stands alone, after a character that is valid UTF-8.
inline std::vector<std::string> OneByteNames() {
    std::vector<std::string> names;
    for (int b = 1; b <= 0xff; ++b) {
        if (b != '/')
            names.push_back("x" + std::string(1, static_cast<char>(b)));
    }
    return names;
}

// A fresh folder under the temporary folder, removed with all it holds. std::filesystem keeps a
// name's bytes as they are, so names that are not UTF-8 are made and removed as well.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ini-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace ini
