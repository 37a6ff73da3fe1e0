#include "notepad/editor_window.h"
#include "notepad/path_text.h"
#include "notepad/remote_control.h"
#include "platform/quit_signals.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

const char* const usage =
    "Usage: notepad [FILE]\n"
    "A small text editor that keeps a file's bytes and line ends as they are when it saves.\n"
    "Any other single argument is the file, whatever it looks like (./--help opens a file\n"
    "named --help). Go to a line with Ctrl+G.\n"
    "  --help         show this help and exit\n"
    "  --version      show the version and exit\n";

// Help and version, answered before any display is needed; false for any other start.
bool AnswersAlone(int argc, char* argv[], int& code) {
    if (argc != 2 ||
        (std::strcmp(argv[1], "--help") != 0 && std::strcmp(argv[1], "--version") != 0))
        return false;
    const char* const text =
        std::strcmp(argv[1], "--help") == 0 ? usage : "notepad " INI_VERSION "\n";
    code = std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
    if (code != 0)
        std::perror("notepad: cannot write to standard output");
    return true;
}

// Ended by a signal: what was typed and not saved is kept, and stderr says where.
void KeepUnsaved(ini::EditorWindow& window) {
    const ini::Result<QString> kept = window.KeepUnsaved();
    if (!kept.ok())
        std::fprintf(stderr, "notepad: the changes not saved could not be kept: %s\n",
                     kept.failure().message.c_str());
    else if (!kept.value().isEmpty())
        std::fprintf(stderr, "notepad: the changes not saved were written to %s\n",
                     ini::PathToBytes(kept.value()).constData());
}

} // namespace

int main(int argc, char* argv[]) {
    // A write past the file-size limit then fails with EFBIG, which a save reports and survives
    // as it does a full disk, instead of ending the editor and its edits with it.
    std::signal(SIGXFSZ, SIG_IGN);
    int caught = 0;
    int code = 0;
    if (AnswersAlone(argc, argv, code))
        return code;
    {
        // The one argument is a path, whatever it looks like ("-style x.ini" included; only
        // --help and --version alone are answered), so Qt is shown only the program name and
        // never reads options from it.
        int qtArgc = 1;
        QApplication app(qtArgc, argv);
        QApplication::setApplicationName(QStringLiteral("notepad"));
        const ini::QuitSignals quitSignals;

        ini::EditorWindow window;
        window.show();
        if (argc == 2 && *argv[1] == '\0') {
            window.ShowError(QObject::tr("The file name is empty; nothing opened"));
        } else if (argc == 2) {
            // Map the window before a long load so whoever started us can find and focus it;
            // keys it types meanwhile stay queued and reach the loaded text in order.
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            // The bytes themselves: a name that is not UTF-8 still names this very file.
            window.Open(ini::PathFromBytes(argv[1]));
        } else if (argc > 2) {
            window.ShowError(QObject::tr("Expected one file path, got %1 arguments; nothing "
                                         "opened. Quote a path that holds spaces.")
                                 .arg(argc - 1));
        }
        // Opened once the file is shown, so requests from the viewer reach the loaded text.
        ini::RemoteControl remote(window);
        if (quitSignals.Caught() == 0)
            code = QApplication::exec();
        caught = quitSignals.Caught();
        if (caught != 0)
            KeepUnsaved(window);
    }
    // Only now that the channel is gone.
    if (caught != 0)
        ini::EndBySignal(caught);
    return code;
}
