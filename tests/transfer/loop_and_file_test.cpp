// The local file's temporary-then-final writing and the user-interface
// loop's timers, posted calls and socket notifications.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

#include <filesystem>
#include <thread>

#include "tests/transfer/transfer_harness.h"
#include "tools/transfer_peers/peer_socket.h"

namespace orvane::testing {
namespace {

using testkit::TempFolder;

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(TransferLocalFile, CommitReplacesTheEarlierFileOnlyAtTheEnd) {
    TempFolder folder;
    WriteFile(folder / "ev.sac", "earlier");
    LocalFile file(folder / "ev.sac");
    ASSERT_TRUE(file.IsOpen());
    EXPECT_TRUE(file.Write("new bytes"));
    EXPECT_EQ(ReadFile(folder / "ev.sac"), "earlier");
    EXPECT_EQ(file.temporaryPath().rfind(folder.path() + "/.ev.sac.", 0), 0u);
    EXPECT_TRUE(file.Commit());
    EXPECT_EQ(ReadFile(folder / "ev.sac"), "new bytes");
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"ev.sac"});
    auto permissions = std::filesystem::status(folder / "ev.sac").permissions();
    EXPECT_NE(permissions & std::filesystem::perms::owner_read, std::filesystem::perms::none);
}

TEST(TransferLocalFile, DiscardLeavesTheEarlierFileAndNoTemporaryFile) {
    TempFolder folder;
    WriteFile(folder / "ev.sac", "earlier");
    {
        LocalFile file(folder / "ev.sac");
        EXPECT_TRUE(file.Write("partial"));
        file.Discard();
        EXPECT_FALSE(file.Write("more"));
    }
    {
        LocalFile dropped(folder / "other.sac");  // destroyed without a commit
        EXPECT_TRUE(dropped.Write("partial"));
    }
    EXPECT_EQ(ReadFile(folder / "ev.sac"), "earlier");
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"ev.sac"});
}

TEST(TransferLocalFile, CannotOpenInAMissingFolderOrOverAFolder) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "taken");
    EXPECT_FALSE(LocalFile(folder / "taken").IsOpen());
    EXPECT_FALSE(LocalFile(folder / "missing/ev.sac").IsOpen());
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"taken"});
}

struct LoopCase {
    GMainContext* context = g_main_context_new();
    GlibUiLoop loop{context};
    ~LoopCase() { g_main_context_unref(context); }
    // Runs the loop until the condition holds; false after ten seconds.
    bool RunUntil(const std::function<bool()>& condition) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            g_main_context_iteration(context, FALSE);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    // Runs the loop through a few ticks of a timer of its own: whatever was
    // ready on the loop before has had its turn by then.
    bool RunSomeTicks() {
        int ticks = 0;
        auto timer = loop.StartTimer(10, [&] { ++ticks; });
        return RunUntil([&] { return ticks >= 3; });
    }
};

TEST(TransferUiLoop, PostedCallsRunOnTheLoopThread) {
    LoopCase c;
    std::thread::id ranOn;
    std::thread poster([&] { c.loop.Post([&] { ranOn = std::this_thread::get_id(); }); });
    poster.join();
    c.loop.RunUntil([&] { return ranOn != std::thread::id(); });
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(TransferUiLoop, TimerTicksUntilItsHandleEnds) {
    LoopCase c;
    int ticks = 0;
    auto started = std::chrono::steady_clock::now();
    auto timer = c.loop.StartTimer(20, [&] { ++ticks; });
    ASSERT_TRUE(c.RunUntil([&] { return ticks >= 3; }));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3 * 20))
        << "no tick comes before its interval";
    timer.reset();
    int stopped = ticks;
    ASSERT_TRUE(c.RunSomeTicks());
    EXPECT_EQ(ticks, stopped);
}

TEST(TransferUiLoop, StreamReportsWriteOnceReadsPerPieceAndCloseOnce) {
    LoopCase c;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    UniqueFd ours(pair[0]), theirs(pair[1]);
    std::vector<long> events;
    std::string received;
    auto watch = c.loop.WatchSocket(ours.get(), SocketKind::Stream, [&](long event) {
        events.push_back(event);
        char piece[1024];
        if (event == FD_READ)
            received.append(piece, std::size_t(::read(ours.get(), piece, 1024)));
    });
    ASSERT_TRUE(c.RunUntil([&] { return !events.empty(); }));
    ASSERT_TRUE(c.RunSomeTicks());
    EXPECT_EQ(events, std::vector<long>{FD_WRITE});
    std::string bytes = PatternBytes(3000);
    ASSERT_TRUE(peers::SendAll(theirs.get(), bytes));
    theirs.reset();
    ASSERT_TRUE(c.RunUntil([&] { return events.back() == FD_CLOSE; }));
    ASSERT_TRUE(c.RunSomeTicks());
    EXPECT_EQ(events, (std::vector<long>{FD_WRITE, FD_READ, FD_READ, FD_READ, FD_CLOSE}));
    EXPECT_EQ(received, bytes);
}

TEST(TransferUiLoop, ListenerReportsAcceptAndAHandlerMayEndItsOwnWatch) {
    LoopCase c;
    int port = 0;
    UniqueFd listener(peers::ListenOnLoopback(4, port));
    std::unique_ptr<LoopHandle> watch;
    int accepts = 0;
    watch = c.loop.WatchSocket(listener.get(), SocketKind::Listener, [&](long event) {
        if (event != FD_ACCEPT)
            return;
        ++accepts;
        UniqueFd accepted(::accept(listener.get(), nullptr, nullptr));
        watch.reset();  // ends the watch from inside its own notification
    });
    UniqueFd first(peers::ConnectFrom("127.0.0.1", "127.0.0.1", port));
    UniqueFd second(peers::ConnectFrom("127.0.0.1", "127.0.0.1", port));
    ASSERT_TRUE(c.RunUntil([&] { return accepts == 1; }));
    ASSERT_TRUE(c.RunSomeTicks());
    EXPECT_EQ(accepts, 1) << "the second connection is not reported";
}

}  // namespace
}  // namespace orvane::testing
