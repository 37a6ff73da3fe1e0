// Saves over a file from a process of its own, for setups a test cannot make inside itself
// (a small file system mounted in a private namespace, another user).
//   notepad_save_probe replace|inplace PATH SIZE
// Writes SIZE bytes of 'n' over PATH with WriteFileBytes (replace) or OverwriteFileInPlace
// (inplace) and prints two lines: the error message or "saved", then what PATH holds now:
// "old" (as before), "new" (the SIZE bytes) or "damaged".

#include "notepad/text_file.h"

#include <QByteArray>
#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4 ||
        (std::strcmp(argv[1], "replace") != 0 && std::strcmp(argv[1], "inplace") != 0)) {
        std::fprintf(stderr, "usage: notepad_save_probe replace|inplace PATH SIZE\n");
        return 2;
    }
    const QString path = QFile::decodeName(argv[2]);
    const auto read = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = read();
    const QByteArray bytes(QByteArray(argv[3]).toLongLong(), 'n');
    const ini::Result<void> saved = std::strcmp(argv[1], "replace") == 0
                                        ? ini::WriteFileBytes(path, bytes)
                                        : ini::OverwriteFileInPlace(path, bytes);
    const QByteArray after = read();
    std::printf("%s\n%s\n", saved.ok() ? "saved" : saved.error().c_str(),
                after == before ? "old" : (after == bytes ? "new" : "damaged"));
    return 0;
}
