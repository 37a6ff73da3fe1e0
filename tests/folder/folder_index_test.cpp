#include "ui/folder_index.h"

#include "outline/index/block_files.h"
#include "outline/index/file_index.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace ini;

namespace {

namespace fs = std::filesystem;

// A folder tree made for one case, removed with it.
class Tree {
public:
    Tree() : m_root(QFile::encodeName(m_dir.path()).toStdString()) {}
    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& relative) const { return m_root + "/" + relative; }

    // Writes `bytes` to the file at `relative`, making its folders; in place when it is there.
    bool Write(const std::string& relative, const std::string& bytes) const {
        const std::string path = Path(relative);
        std::error_code error;
        fs::create_directories(fs::path(path).parent_path(), error);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
        out.close();
        return !error && out.good();
    }

    // Writes each file of `files`: its path below the root, then its bytes.
    bool WriteAll(const std::vector<std::pair<std::string, std::string>>& files) const {
        return std::all_of(files.begin(), files.end(),
                           [&](const auto& file) { return Write(file.first, file.second); });
    }

    // Writes the file beside its place and renames it there, as an editor saves.
    bool Replace(const std::string& relative, const std::string& bytes) const {
        return Write(relative + ".new", bytes) &&
               std::rename(Path(relative + ".new").c_str(), Path(relative).c_str()) == 0;
    }

private:
    QTemporaryDir m_dir;
    std::string m_root;
};

// A file of `count` objects named after `stem`, with lines that open nothing at the top too.
std::string Objects(const std::string& stem, int count) {
    std::string bytes = "; generated for a test\nVersion = 3\n";
    for (int i = 0; i < count; ++i) {
        bytes += "Object " + stem + std::to_string(i) + "\n  Side = East\n";
        bytes += "  Draw = ModelDraw Tag\n    Model = Hull\n  End\nEnd\n\n";
    }
    return bytes + "Weapon " + stem + "Gun\n  Range = 100\nEnd\n";
}

// One line per definition or failure, as "path<TAB>type<TAB>name<TAB>line".
QStringList Lines(std::string_view path, const std::vector<std::array<std::string, 3>>& found,
                  bool fails) {
    QStringList lines;
    const QString file = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    if (fails)
        lines << file + "\tfails";
    for (const auto& [type, name, line] : found)
        lines << file + "\t" + QString::fromStdString(type + "\t" + name + "\t" + line);
    return lines;
}

// What the index should hold of `folder`: the listing, each file walked on its own.
QStringList Expected(const std::string& folder) {
    Keywords keywords;
    keywords.InitKeywords();
    const BlockFiles listed = ListBlockFiles({folder});
    QStringList lines;
    for (const std::string& path : listed.files) {
        std::vector<std::array<std::string, 3>> found;
        IndexSink sink([&](const DefinitionLine& at) {
            found.push_back({std::string(at.type), std::string(at.name), std::to_string(at.line)});
            return true;
        });
        Result<FileReader> reader = FileReader::Open(path);
        std::optional<Failure> failure;
        if (!reader.ok())
            failure = reader.failure();
        else if (const Result<void> done = IndexFile(std::move(reader).value(), keywords, sink);
                 !done.ok())
            failure = done.failure();
        lines << Lines(path, failure ? decltype(found){} : found, failure.has_value());
    }
    for (const Failure& failure : listed.failures)
        lines << QString::fromStdString("folder\t" + failure.message);
    return lines;
}

// What a snapshot holds, in the shape of Expected.
QStringList Held(const FolderIndexState& state) {
    QStringList lines;
    for (const auto& file : state.files) {
        std::vector<std::array<std::string, 3>> found;
        for (const IndexedDefinition& definition : file->Definitions())
            found.push_back({std::string(definition.Type()), std::string(definition.Name()),
                             std::to_string(definition.line)});
        lines << Lines(file->Path(), found, file->failure != nullptr);
    }
    for (const Failure& failure : state.folderFailures)
        lines << QString::fromStdString("folder\t" + failure.message);
    return lines;
}

const FileDefinitions* FileAt(const FolderIndex& index, const std::string& path) {
    for (const auto& file : index.Snapshot()->files) {
        if (file->Path() == path)
            return file.get();
    }
    return nullptr;
}

Keywords MakeKeywords() {
    Keywords keywords;
    keywords.InitKeywords();
    return keywords;
}

// Many files, so that a build takes a while.
void WriteMany(const Tree& tree, int files) {
    for (int i = 0; i < files; ++i)
        QVERIFY(tree.Write("many/f" + std::to_string(i) + ".ini", Objects("M", 200)));
}

} // namespace

class FolderIndexTest : public QObject {
    Q_OBJECT

private slots:
    void buildsWhatAListingAndAWalkFind_data() { Threadings(); }
    void buildsWhatAListingAndAWalkFind();
    void readsAgainOnlyWhatChanged_data() { Threadings(); }
    void readsAgainOnlyWhatChanged();
    void followsFoldersComingAndGoing_data() { Threadings(); }
    void followsFoldersComingAndGoing();
    void anotherFolderSilencesTheOld();
    void aMissingFolderIsAFailureUntilItComes_data() { Threadings(); }
    void aMissingFolderIsAFailureUntilItComes();
    void aFileThatCannotBeLookedAtIsCountedUntilItCanBe();
    void stopsPromptlyMidBuild();
    void aFilesFilterPassesEveryNameItDefinesAndFewOthers();

private:
    static void Threadings() {
        QTest::addColumn<Threading>("threading");
        QTest::newRow("on a thread of its own") << Threading::OwnThread;
        QTest::newRow("on the owner's thread") << Threading::Inline;
    }
};

// Nested folders, letter case, a file of another name, links (a loop among them), bytes that
// are not text and, when permissions bind, a file and a folder that cannot be read: the complete
// snapshot is what the listing and a walk of each file find.
void FolderIndexTest::buildsWhatAListingAndAWalkFind() {
    QFETCH(Threading, threading);
    const Tree tree;
    QVERIFY(tree.WriteAll({{"a.ini", Objects("A", 3)},
                           {"sub/B.INI", Objects("B", 2)},
                           {"sub/deeper/c.Ini", Objects("C", 1)},
                           {"sub/notes.txt", Objects("N", 1)}}));
    const char binary[] = "Object \0\xff\xfe\r\r\nEnd\n";
    QVERIFY(tree.Write("sub/binary.ini", std::string(binary, sizeof binary - 1)));
    QVERIFY(tree.Write("empty.ini", ""));
    QVERIFY(symlink("..", tree.Path("sub/deeper/loop").c_str()) == 0);
    QVERIFY(symlink("a.ini", tree.Path("link.ini").c_str()) == 0);
    const bool permissionsBind = geteuid() != 0;
    if (permissionsBind) {
        QVERIFY(tree.Write("locked.ini", Objects("L", 1)));
        QVERIFY(tree.Write("shut/d.ini", Objects("D", 1)));
        QVERIFY(chmod(tree.Path("locked.ini").c_str(), 0) == 0);
        QVERIFY(chmod(tree.Path("shut").c_str(), 0) == 0);
    }

    FolderIndex index(MakeKeywords(), nullptr, threading);
    QVERIFY(index.Snapshot() != nullptr);
    index.Open(tree.Root());
    QCOMPARE(index.Folder(), tree.Root());
    QTRY_VERIFY(index.Snapshot()->complete);
    const FolderIndexState& state = *index.Snapshot();
    QCOMPARE(state.folder, tree.Root());
    QCOMPARE(state.filesTotal, state.files.size());
    const QStringList expected = Expected(tree.Root());
    QCOMPARE(Held(state), expected);
    QVERIFY(expected.contains(QString::fromStdString(tree.Path("sub/B.INI")) + "\tObject\tB1\t9"));
    QVERIFY(!expected.join('\n').contains("notes.txt"));
    // A folder that cannot be read cannot be watched either, and the index says so.
    QCOMPARE(state.unfollowed, std::size_t(permissionsBind ? 1 : 0));
    QCOMPARE(state.unfollowedReason.empty(), !permissionsBind);
    if (permissionsBind) {
        QCOMPARE(state.folderFailures.size(), std::size_t(1));
        QVERIFY(FileAt(index, tree.Path("locked.ini"))->failure != nullptr);
        // Made readable again, both are read: a change of mode is a change of the folder.
        QVERIFY(chmod(tree.Path("shut").c_str(), 0700) == 0);
        QVERIFY(chmod(tree.Path("locked.ini").c_str(), 0600) == 0);
        QTRY_VERIFY(FileAt(index, tree.Path("shut/d.ini")) != nullptr &&
                    FileAt(index, tree.Path("locked.ini"))->failure == nullptr);
        QTRY_COMPARE(index.Snapshot()->folderFailures.size(), std::size_t(0));
        // And shut again, its blocks leave the index, which says why.
        QVERIFY(chmod(tree.Path("shut").c_str(), 0) == 0);
        QTRY_VERIFY(FileAt(index, tree.Path("shut/d.ini")) == nullptr &&
                    index.Snapshot()->folderFailures.size() == 1);
        QVERIFY(chmod(tree.Path("shut").c_str(), 0700) == 0);
    }
}

// A file written in place and one replaced by a rename are read again; the others are kept as
// they were, down to the very same definitions.
void FolderIndexTest::readsAgainOnlyWhatChanged() {
    QFETCH(Threading, threading);
    const Tree tree;
    QVERIFY(tree.WriteAll(
        {{"a.ini", Objects("A", 2)}, {"b.ini", Objects("B", 2)}, {"sub/c.ini", Objects("C", 2)}}));
    FolderIndex index(MakeKeywords(), nullptr, threading);
    int changes = 0;
    connect(&index, &FolderIndex::changed, this, [&] { ++changes; });
    index.Open(tree.Root());
    QTRY_VERIFY(index.Snapshot()->complete);
    QVERIFY(changes > 0);
    const FileDefinitions* a = FileAt(index, tree.Path("a.ini"));
    const FileDefinitions* b = FileAt(index, tree.Path("b.ini"));
    const FileDefinitions* c = FileAt(index, tree.Path("sub/c.ini"));
    QVERIFY(a && b && c);
    const FolderIndexSnapshot before = index.Snapshot(); // keeps the old ones alive

    QVERIFY(tree.Write("a.ini", Objects("Rewritten", 1)));
    QVERIFY(tree.Replace("b.ini", Objects("Renamed", 4)));
    QTRY_VERIFY(FileAt(index, tree.Path("a.ini")) != a && FileAt(index, tree.Path("b.ini")) != b);
    QTRY_COMPARE(Held(*index.Snapshot()), Expected(tree.Root()));
    QCOMPARE(FileAt(index, tree.Path("sub/c.ini")), c);
    QCOMPARE(index.Snapshot()->files.size(), std::size_t(3));
    QCOMPARE(FileAt(index, tree.Path("b.ini"))->Definitions().front().Name(), "Renamed0");
    // What an older snapshot holds stays whole after the index let go of it.
    QCOMPARE(before->files.front()->Definitions().front().Name(), "A0");
    QCOMPARE(before->files.front()->Path(), tree.Path("a.ini"));

    // A link named as a block file is no file to read: once it settled, nothing is left to
    // read, though a file read meanwhile was shown with the link still waiting.
    QCOMPARE(::symlink("/nonexistent/x", tree.Path("dangling.ini").c_str()), 0);
    QVERIFY(tree.Write("new.ini", Objects("New", 1)));
    QTRY_VERIFY(FileAt(index, tree.Path("new.ini")));
    QTRY_COMPARE(index.Snapshot()->changesToRead, std::size_t(0));
}

// A file added in a new folder appears, a removed file and a removed folder's files go, a
// renamed file moves.
void FolderIndexTest::followsFoldersComingAndGoing() {
    QFETCH(Threading, threading);
    const Tree tree;
    QVERIFY(tree.WriteAll({{"a.ini", Objects("A", 1)},
                           {"old/b.ini", Objects("B", 1)},
                           {"old/inner/c.ini", Objects("C", 1)}}));
    FolderIndex index(MakeKeywords(), nullptr, threading);
    index.Open(tree.Root());
    QTRY_VERIFY(index.Snapshot()->complete);
    QCOMPARE(index.Snapshot()->files.size(), std::size_t(3));

    QVERIFY(tree.Write("new/inner/d.ini", Objects("D", 2)));
    QTRY_VERIFY(FileAt(index, tree.Path("new/inner/d.ini")) != nullptr);
    QVERIFY(tree.Write("new/inner/e.ini", Objects("E", 1)));
    QTRY_VERIFY(FileAt(index, tree.Path("new/inner/e.ini")) != nullptr);

    QVERIFY(fs::remove(tree.Path("a.ini")));
    QTRY_VERIFY(FileAt(index, tree.Path("a.ini")) == nullptr);
    QVERIFY(fs::remove_all(tree.Path("old")) > 0);
    QTRY_VERIFY(FileAt(index, tree.Path("old/b.ini")) == nullptr);
    fs::rename(tree.Path("new/inner/e.ini"), tree.Path("new/f.ini"));
    QTRY_VERIFY(FileAt(index, tree.Path("new/f.ini")) != nullptr);
    QTRY_COMPARE(Held(*index.Snapshot()), Expected(tree.Root()));
    QCOMPARE(index.Snapshot()->files.size(), std::size_t(2));
}

// Once another folder is opened, nothing of the first one arrives, even while it was building.
void FolderIndexTest::anotherFolderSilencesTheOld() {
    const Tree first;
    WriteMany(first, 300);
    const Tree second;
    QVERIFY(second.Write("only.ini", Objects("S", 1)));
    FolderIndex index(MakeKeywords());
    bool secondOpened = false;
    QStringList stale;
    connect(&index, &FolderIndex::changed, this, [&] {
        const FolderIndexSnapshot state = index.Snapshot();
        if (secondOpened && state->folder != second.Root())
            stale << QString::fromStdString(state->folder);
    });
    index.Open(first.Root());
    QTRY_VERIFY(!index.Snapshot()->files.empty());
    index.Open(second.Root());
    secondOpened = true;
    QCOMPARE(index.Snapshot()->folder, second.Root());
    QVERIFY(index.Snapshot()->files.empty());
    QTRY_VERIFY(index.Snapshot()->complete);
    QCOMPARE(Held(*index.Snapshot()), Expected(second.Root()));
    QVERIFY(stale.isEmpty());
}

// A folder that is not there is a failure of the complete snapshot until it comes, and a folder
// removed and made again is followed as the new one; no folder is nothing.
void FolderIndexTest::aMissingFolderIsAFailureUntilItComes() {
    QFETCH(Threading, threading);
    const Tree tree;
    FolderIndex index(MakeKeywords(), nullptr, threading);
    const std::string mod = tree.Path("mod");
    index.Open(mod);
    QTRY_VERIFY(index.Snapshot()->complete);
    QCOMPARE(index.Snapshot()->folderFailures.size(), std::size_t(1));
    QVERIFY(index.Snapshot()->files.empty());

    QVERIFY(tree.Write("mod/a.ini", Objects("A", 1)));
    QTRY_COMPARE(Held(*index.Snapshot()), Expected(mod));
    QVERIFY(index.Snapshot()->folderFailures.empty());

    QVERIFY(fs::remove_all(mod) > 0);
    QTRY_VERIFY(index.Snapshot()->files.empty());
    QVERIFY(tree.Write("mod/b.ini", Objects("B", 2)));
    QTRY_COMPARE(Held(*index.Snapshot()), Expected(mod));
    // Watched again: a later file is seen as it comes.
    QVERIFY(tree.Write("mod/c.ini", Objects("C", 1)));
    QTRY_COMPARE(Held(*index.Snapshot()), Expected(mod));
    QCOMPARE(index.Snapshot()->files.size(), std::size_t(2));

    index.Open({});
    QTRY_VERIFY(index.Snapshot()->complete);
    QVERIFY(index.Snapshot()->folderFailures.empty());
    QVERIFY(index.Snapshot()->folder.empty());
}

// Destroying the index in the middle of a build does not wait for the build.
// A file made just before its folder could no longer be entered is a failure, not a file gone;
// once the folder can be entered again it is read. On the owner's thread the index takes up
// both changes only when events run, after both were made. Root enters every folder.
void FolderIndexTest::aFileThatCannotBeLookedAtIsCountedUntilItCanBe() {
    if (geteuid() == 0)
        QSKIP("root enters every folder");
    const Tree tree;
    QVERIFY(tree.Write("a.ini", Objects("A", 1)));
    FolderIndex index(MakeKeywords(), nullptr, Threading::Inline);
    index.Open(tree.Root());
    QTRY_VERIFY(index.Snapshot()->complete);
    QVERIFY(tree.Write("late.ini", Objects("L", 1)));
    QVERIFY(chmod(tree.Root().c_str(), 0600) == 0);
    QTRY_VERIFY(FileAt(index, tree.Path("late.ini")) != nullptr);
    QVERIFY(FileAt(index, tree.Path("late.ini"))->failure != nullptr);
    QVERIFY(chmod(tree.Root().c_str(), 0700) == 0);
    QTRY_VERIFY(FileAt(index, tree.Path("late.ini"))->failure == nullptr);
    QTRY_COMPARE(Held(*index.Snapshot()), Expected(tree.Root()));
}

void FolderIndexTest::stopsPromptlyMidBuild() {
    const Tree tree;
    WriteMany(tree, 600);
    QElapsedTimer timer;
    {
        FolderIndex index(MakeKeywords());
        index.Open(tree.Root());
        QTRY_VERIFY(!index.Snapshot()->files.empty());
        if (index.Snapshot()->complete)
            QSKIP("the build ended before it could be stopped");
        timer.start();
    }
    QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed()) + " ms"));
}

QTEST_GUILESS_MAIN(FolderIndexTest)
// Go to definition reads only the files whose filter a word passes: a name defined must always
// pass, and of the words defined nowhere few may.
void FolderIndexTest::aFilesFilterPassesEveryNameItDefinesAndFewOthers() {
    for (const int count : {0, 1, 7, 1000, 5000}) {
        std::string texts;
        std::vector<std::size_t> starts;
        for (int i = 0; i < count; ++i) {
            starts.push_back(texts.size());
            texts += "Weapon Gun_" + std::to_string(i);
        }
        std::vector<IndexedDefinition> definitions;
        for (int i = 0; i < count; ++i) {
            const std::size_t end = i + 1 < count ? starts[i + 1] : texts.size();
            definitions.push_back(
                IndexedDefinition{std::string_view(texts).substr(starts[i], end - starts[i]), 6,
                                  static_cast<LineIndex>(i)});
        }
        const FileRecord file = FileDefinitions::Make("x.ini", definitions, texts);
        for (const IndexedDefinition& definition : file->Definitions())
            QVERIFY(file->MayDefine(FileDefinitions::NameHash(definition.Name())));
        int passed = 0;
        constexpr int others = 20'000;
        for (int i = 0; i < others; ++i)
            passed += file->MayDefine(FileDefinitions::NameHash("Gun_x" + std::to_string(i)));
        QVERIFY2(passed < others / 20,
                 qPrintable(
                     QString("%1 of %2 with %3 names passed").arg(passed).arg(others).arg(count)));
        QCOMPARE(file->Path(), std::string_view("x.ini"));
    }
}

#include "folder_index_test.moc"
