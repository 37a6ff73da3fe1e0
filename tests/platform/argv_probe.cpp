// Stands in for an editor where tests start programs: writes its process id and each argument
// it was given, every one ended by a NUL byte, to args.out beside itself. Written to a copy and
// renamed into place, so a reader never sees half of it.
#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const std::string self = argv[0];
    const std::string out = self.substr(0, self.rfind('/') + 1) + "args.out";
    std::string text = std::to_string(getpid()) + '\0';
    for (int i = 1; i < argc; ++i) {
        text += argv[i];
        text += '\0';
    }
    const std::string copy = out + ".tmp";
    std::FILE* file = std::fopen(copy.c_str(), "wb");
    if (file == nullptr)
        return 1;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written)
        return 1;
    return std::rename(copy.c_str(), out.c_str()) == 0 ? 0 : 1;
}
