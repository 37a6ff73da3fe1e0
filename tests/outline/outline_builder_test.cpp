#include "outline/walk/outline_builder.h"

#include "outline_test_support.h"
#include "support/address_space.h"
#include "support/example_file.h"
#include "support/reference_outline.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ini {
namespace {

class OutlineBuilderTest : public test::OutlineFixture {
protected:
    WalkResult Load(const std::string& path) {
        return loader.LoadFile(path, lines, outline, keywords, hooks);
    }
    WalkResult Click(LineIndex line) {
        return ClickNode(NodeKey{line}, lines, outline, keywords, hooks);
    }
    std::string Shown() const { return test::ReferenceOutline(outline.Nodes(), lines); }
};

TEST_F(OutlineBuilderTest, ElevenLineExampleTopLevelThenClicks) {
    const test::TempFile file(test::exampleFile);
    ASSERT_EQ(Load(file.Path()).status, WalkStatus::Done);
    EXPECT_EQ(lines.Count(), 11u);
    EXPECT_EQ(Shown(), "Key_0\tObject Alpha\nKey_9\tObject Beta\n");

    const WalkResult first = Click(0);
    EXPECT_EQ(first.nodesAdded, 4u);
    EXPECT_EQ(first.addsRefused, 0u);
    EXPECT_EQ(Shown(), "Key_0\tObject Alpha\n"
                       "  Key_2\tSpeed = 10\n"
                       "  Key_3\tDraw = ModelA\n"
                       "    Key_4\tDefaultConditionState\n"
                       "      Key_5\tModel = M1\n"
                       "Key_9\tObject Beta\n");
    const std::string filled = Shown();

    // A filled root, child nodes and the last root (walks 9..10, adds nothing) change nothing.
    EXPECT_EQ(Click(0).status, WalkStatus::Nothing);
    for (LineIndex child : {3, 4, 5})
        EXPECT_EQ(Click(child).status, WalkStatus::Nothing) << child;
    for (int again = 0; again < 2; ++again) {
        const WalkResult last = Click(9);
        EXPECT_EQ(last.status, WalkStatus::Done);
        EXPECT_EQ(last.nodesAdded, 0u);
    }
    EXPECT_EQ(Click(1).status, WalkStatus::Nothing); // no node for a comment line
    EXPECT_EQ(Shown(), filled);
}

TEST_F(OutlineBuilderTest, CommentSwitchAtLoadAndAtClickAreIndependent) {
    const test::TempFile file("Object Alpha ; first\r\n  Speed = 10 ; fast\r\nEnd\r\n");
    comments = true;
    ASSERT_EQ(Load(file.Path()).status, WalkStatus::Done);
    comments = false;
    Click(0);
    EXPECT_EQ(Shown(), "Key_0\tObject Alpha    ; first\n  Key_1\tSpeed = 10\n");

    comments = false;
    Load(file.Path());
    comments = true;
    Click(0);
    EXPECT_EQ(Shown(), "Key_0\tObject Alpha\n  Key_1\tSpeed = 10    ; fast\n");
}

TEST_F(OutlineBuilderTest, TopLevelRules) {
    const test::TempFile file("\r\n\r\n; header\r\nVersion = 1\r\nDraw = ModelA\r\nEnd\r\n"
                              "Squadron Red\r\n  Size = 4\r\nEnd\r\nObject Tank\r\n  Draw = D\r\n"
                              "  Speed = 3\r\nObject Lost\r\nTail = 1");
    ASSERT_EQ(Load(file.Path()).status, WalkStatus::Done);
    // Unknown block types are ordinary lines; a stray End gets no node and changes nothing;
    // a block without End swallows the rest of the file.
    EXPECT_EQ(Shown(), "Key_3\tVersion = 1\nKey_4\tDraw = ModelA\nKey_6\tSquadron Red\n"
                       "Key_7\tSize = 4\nKey_9\tObject Tank\n");
    Click(9);
    EXPECT_EQ(Shown(), "Key_3\tVersion = 1\nKey_4\tDraw = ModelA\nKey_6\tSquadron Red\n"
                       "Key_7\tSize = 4\nKey_9\tObject Tank\n  Key_10\tDraw = D\n"
                       "    Key_11\tSpeed = 3\n    Key_12\tObject Lost\n    Key_13\tTail = 1\n");
}

TEST_F(OutlineBuilderTest, LoadingTwiceGivesTheSameOutlineNeverBoth) {
    const test::TempFile file(test::exampleFile);
    Load(file.Path());
    Click(0);
    Load(file.Path());
    EXPECT_EQ(Shown(), "Key_0\tObject Alpha\nKey_9\tObject Beta\n");
}

TEST_F(OutlineBuilderTest, FailedLoadsKeepStoreAndOutline) {
    const test::TempFile file(test::exampleFile);
    Load(file.Path());
    Click(0);
    const std::string before = Shown();
    const std::string fifo = file.Folder() / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A socket is no file to open at all.
    const std::string socketPath = file.Folder() / "socket.ini";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    ASSERT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    struct Case {
        std::string path;
        std::string_view reason;
    };
    const Case cases[] = {
        {"", "no file name given"},
        {(file.Folder() / "missing.ini").string(), "No such file"},
        {file.Folder().string(), "folder"},
        {fifo, "not a regular file"},
        {socketPath, "not a regular file"},
        {"/dev/zero", "not a regular file"},
    };
    for (const Case& c : cases) {
        const WalkResult result = Load(c.path);
        EXPECT_EQ(result.status, WalkStatus::Failed) << c.path;
        ASSERT_TRUE(result.error.has_value()) << c.path;
        EXPECT_NE(result.error->message.find("'" + c.path + "'"), std::string::npos);
        EXPECT_NE(result.error->message.find(c.reason), std::string::npos) << result.error->message;
        EXPECT_FALSE(loader.Loading());
        EXPECT_EQ(lines.Count(), 11u);
        EXPECT_EQ(Shown(), before);
    }
    ::close(socket);
}

TEST_F(OutlineBuilderTest, UnreadableFileIsRefused) {
    const test::TempFile file(test::exampleFile);
    ASSERT_EQ(::chmod(file.Path().c_str(), 0), 0);
    const auto refusedForPermission = [&] {
        const WalkResult result = Load(file.Path());
        return result.status == WalkStatus::Failed &&
               result.error->message.find("Permission denied") != std::string::npos;
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(refusedForPermission());
        return;
    }
    // Root reads every file, so the load runs in a child that has become nobody.
    constexpr uid_t nobody = 65534;
    EXPECT_EXIT(
        {
            if (::setgid(nobody) != 0 || ::setuid(nobody) != 0)
                std::_Exit(2);
            std::_Exit(refusedForPermission() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(OutlineBuilderTest, EmptyFileLoadsAsNoLines) {
    const test::TempFile full(test::exampleFile);
    Load(full.Path());
    const test::TempFile empty("");
    EXPECT_EQ(Load(empty.Path()).status, WalkStatus::Done);
    EXPECT_EQ(lines.Count(), 0u);
    EXPECT_EQ(Shown(), "");
}

TEST_F(OutlineBuilderTest, SecondLoadDuringAWalkIsTurnedAway) {
    const test::TempFile file(test::exampleFile);
    const test::TempFile other("Weapon Gun\r\nEnd\r\n");
    std::vector<WalkStatus> nested;
    hooks.letEventsRun = [&] {
        if (nested.empty())
            nested.push_back(Load(other.Path()).status);
        return true;
    };
    EXPECT_EQ(Load(file.Path()).status, WalkStatus::Done);
    EXPECT_EQ(nested, std::vector<WalkStatus>{WalkStatus::Busy});
    EXPECT_FALSE(loader.Loading());
    EXPECT_EQ(Shown(), "Key_0\tObject Alpha\nKey_9\tObject Beta\n");
}

TEST_F(OutlineBuilderTest, StoppedLoadKeepsThePreviousOutlineAndClearsLoading) {
    const test::TempFile file(test::exampleFile);
    const test::TempFile other("Weapon Gun\r\nEnd\r\n");
    Load(other.Path());
    hooks.letEventsRun = [] { return false; };
    EXPECT_EQ(Load(file.Path()).status, WalkStatus::Stopped);
    EXPECT_FALSE(loader.Loading());
    EXPECT_EQ(lines.Count(), 2u);
    EXPECT_EQ(Shown(), "Key_0\tWeapon Gun\n");
}

TEST_F(OutlineBuilderTest, NestedBuildOfTheSameNodeIsRefusedNotDuplicated) {
    // Without the window's guard a click during a build would build the same block twice; the
    // tree refuses the repeated keys instead of corrupting itself.
    const test::TempFile file(test::exampleFile);
    Load(file.Path());
    bool nestedOnce = false;
    hooks.letEventsRun = [&] {
        if (!nestedOnce) {
            nestedOnce = true;
            Click(0);
        }
        return true;
    };
    const WalkResult outer = Click(0);
    EXPECT_EQ(outer.addsRefused, 4u);
    EXPECT_EQ(outline.Nodes().Size(), 6u);
}

// A fill that runs out of memory ends in "not enough memory" and leaves the block as it was:
// unfilled, its nodes' room given back, so that a later click can fill it once there is room.
// Runs in a child process, whose address-space limit cannot hurt the test runner.
TEST_F(OutlineBuilderTest, FillOutOfMemoryLeavesTheBlockUnfilled) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs far more address space than the limit";
#else
    std::string text = "Object Alpha\n";
    for (int i = 0; i < 2'000'000; ++i)
        text += "  Speed = 1\n";
    text += "End\n";
    const test::TempFile file(text);
    ASSERT_EQ(Load(file.Path()).status, WalkStatus::Done);
    EXPECT_EQ(test::ExitOfChild([&] {
                  // Room for a few MiB of nodes, far less than the block's 24 MB.
                  if (!test::CapAddressSpace(8u << 20))
                      return 3;
                  const std::size_t before = test::AddressSpaceBytes();
                  const WalkResult result = Click(0);
                  const bool warned = result.status == WalkStatus::Failed && result.error &&
                                      result.error->message.find("memory") != std::string::npos;
                  const OutlineNodes& nodes = outline.Nodes();
                  const bool unfilled = result.nodesAdded == 0 && nodes.Size() == 1 &&
                                        outline.ChildCount(NodeKey{0}) == 0;
                  // The nodes took MiBs before memory ran out.
                  const bool roomBack = test::AddressSpaceBytes() <= before + (1u << 20);
                  return !warned ? 4 : !unfilled ? 5 : !roomBack ? 6 : 0;
              }),
              0);
    EXPECT_EQ(Click(0).nodesAdded, 2'000'000u);
#endif
}

} // namespace
} // namespace ini
