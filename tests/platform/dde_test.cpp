#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "platform/dde/dde_channel.h"
#include "platform/dde/dde_client.h"
#include "platform/unique_fd.h"
#include "tests/platform/dde_server_thread.h"
#include "tests/platform/scoped_environment.h"
#include "tools/testkit/temp_folder.h"

namespace orvane {
namespace {

using testing::DdeServerThread;
using testing::ScopedEnvironment;
using testkit::TempFolder;
using Clock = std::chrono::steady_clock;
using Received = std::vector<std::pair<std::string, std::string>>;

long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

UniqueFd listeningSocket(const std::string& path) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address = addressOf(path);
    EXPECT_EQ(::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(fd.get(), 4), 0);
    return fd;
}

UniqueFd connectedSocket(const std::string& path) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address = addressOf(path);
    EXPECT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Everything the peer sends until it closes, waiting at most timeoutMs.
std::string readUntilClosed(int fd, int timeoutMs) {
    std::string bytes;
    auto start = Clock::now();
    for (;;) {
        int left = timeoutMs - static_cast<int>(msSince(start));
        pollfd wait{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&wait, 1, left) <= 0)
            return bytes + "<open>";
        char buffer[64];
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

class DdeTest : public ::testing::Test {
  protected:
    TempFolder runtime;
    std::string folder = runtime / "orvane-dde";
    DdeClientOptions client{folder, kDdeTimeoutMs};

    void SetUp() override { ::mkdir(folder.c_str(), 0700); }
};

TEST_F(DdeTest, ACommandIsDeliveredAndTheServersVerdictComesBack) {
    DdeServerThread server(folder, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    DdeOutcome outcome = ddeExecute("trmvw32", "System", "[open(\"/data/a b.evt\")]", client);
    EXPECT_TRUE(outcome.conversationMade);
    EXPECT_TRUE(outcome.commandSent);
    EXPECT_TRUE(outcome.delivered());
    EXPECT_EQ(outcome.commandHandled, true);
    EXPECT_EQ(outcome.failure, "");
    EXPECT_EQ(server.received(), (Received{{"System", "[open(\"/data/a b.evt\")]"}}));
}

TEST_F(DdeTest, ARejectedCommandStillCountsAsDelivered) {
    DdeServerThread server(folder, "trmvw32", "System", false);
    ASSERT_TRUE(server.running()) << server.error();
    DdeOutcome outcome = ddeExecute("trmvw32", "System", "garbage", client);
    EXPECT_TRUE(outcome.delivered());
    EXPECT_EQ(outcome.commandHandled, false);
    EXPECT_EQ(server.received().size(), 1u);
}

TEST_F(DdeTest, ServiceAndTopicNamesCompareWithoutCase) {
    DdeServerThread server(folder, "OrvaneExplorer", "system");
    ASSERT_TRUE(server.running()) << server.error();
    EXPECT_EQ(server.socketPath(), folder + "/orvaneexplorer");
    DdeOutcome outcome = ddeExecute("ORVANEEXPLORER", "SYSTEM", "[open(\"http://x/\")]", client);
    EXPECT_TRUE(outcome.delivered()) << outcome.failure;
    EXPECT_EQ(server.received(), (Received{{"SYSTEM", "[open(\"http://x/\")]"}}));
}

TEST_F(DdeTest, WithoutAServerNoConversationIsMade) {
    DdeOutcome outcome = ddeExecute("trmvw32", "System", "x", client);
    EXPECT_FALSE(outcome.conversationMade);
    EXPECT_FALSE(outcome.delivered());
    EXPECT_EQ(outcome.failure, "no server for service \"trmvw32\"");
    DdeClientOptions missingFolder{runtime / "never-made", kDdeTimeoutMs};
    EXPECT_EQ(ddeExecute("trmvw32", "System", "x", missingFolder).failure,
              "no server for service \"trmvw32\"");
    EXPECT_FALSE(std::filesystem::exists(runtime / "never-made"));
}

TEST_F(DdeTest, AnotherTopicMakesNoConversationAndReachesNoHandler) {
    DdeServerThread server(folder, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    DdeOutcome outcome = ddeExecute("trmvw32", "Systems", "[open(\"/a\")]", client);
    EXPECT_FALSE(outcome.conversationMade);
    EXPECT_FALSE(outcome.delivered());
    EXPECT_EQ(outcome.failure, "service \"trmvw32\" does not accept topic \"Systems\"");
    EXPECT_TRUE(server.received().empty());
}

TEST_F(DdeTest, AServerThatNeverAnswersIsGivenUpAfterTheTimeOut) {
    UniqueFd silent = listeningSocket(folder + "/trmvw32");  // never accepts, never answers
    auto start = Clock::now();
    DdeOutcome outcome = ddeExecute("trmvw32", "System", "[open(\"/a\")]", client);
    long elapsed = msSince(start);
    EXPECT_FALSE(outcome.delivered());
    EXPECT_EQ(outcome.failure, "no answer from service \"trmvw32\" within 2000 ms");
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 10000);
}

TEST_F(DdeTest, ACommandOverTheLimitIsRefusedBeforeAnythingIsSent) {
    DdeServerThread server(folder, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    std::string longest(kDdeMaxCommandBytes, 'p');
    DdeOutcome whole = ddeExecute("trmvw32", "System", longest, client);
    EXPECT_TRUE(whole.delivered()) << whole.failure;
    DdeOutcome refused = ddeExecute("trmvw32", "System", longest + "p", client);
    EXPECT_FALSE(refused.delivered());
    EXPECT_FALSE(refused.conversationMade);
    EXPECT_EQ(refused.failure, "command longer than 65536 bytes");
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0].second, longest);
}

TEST_F(DdeTest, ServiceNamesThatCannotNameASocketAreRefused) {
    for (const char* service : {"", "..", "a/b", "tab\there"})
        EXPECT_FALSE(ddeExecute(service, "System", "x", client).delivered()) << service;
    std::string error;
    EXPECT_FALSE(DdeServer::start("../escape", "System", nullptr, error, {folder, nullptr, 100}));
    EXPECT_EQ(error, "invalid service name \"../escape\"");
    EXPECT_FALSE(
        ddeExecute(std::string(kDdeMaxServiceBytes + 1, 's'), "System", "x", client).delivered());
}

TEST_F(DdeTest, AFolderOpenToOthersIsRefusedByServerAndClient) {
    ::chmod(folder.c_str(), 0755);
    std::string error;
    EXPECT_FALSE(DdeServer::start("trmvw32", "System", nullptr, error, {folder, nullptr, 100}));
    EXPECT_EQ(error, folder + " is open to other users (mode 0755)");
    UniqueFd planted = listeningSocket(folder + "/trmvw32");
    DdeOutcome outcome = ddeExecute("trmvw32", "System", "[open(\"/secret\")]", client);
    EXPECT_FALSE(outcome.delivered());
    EXPECT_EQ(outcome.failure,
              "socket folder refused: " + folder + " is open to other users (mode 0755)");
}

TEST_F(DdeTest, AFolderOfAnotherUserOrALinkIsRefused) {
    std::filesystem::create_directory_symlink(folder, runtime / "link");
    EXPECT_EQ(checkPrivateDirectory(runtime / "link", true), runtime / "link" + " is not a folder");
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a folder to another user";
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    std::string error;
    EXPECT_FALSE(DdeServer::start("trmvw32", "System", nullptr, error, {folder, nullptr, 100}));
    EXPECT_EQ(error, folder + " belongs to another user (uid 65534)");
    EXPECT_EQ(ddeExecute("trmvw32", "System", "x", client).failure,
              "socket folder refused: " + folder + " belongs to another user (uid 65534)");
}

TEST_F(DdeTest, TheServerFolderIsCreatedPrivate) {
    std::string fresh = runtime / "fresh";
    DdeServerThread server(fresh, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    struct stat status {};
    ASSERT_EQ(::stat(fresh.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_TRUE(ddeExecute("trmvw32", "System", "x", {fresh, kDdeTimeoutMs}).delivered());
}

TEST_F(DdeTest, TheDefaultFolderIsInTheRuntimeFolderElseInTmp) {
    {
        ScopedEnvironment runtimeDir("XDG_RUNTIME_DIR", "/run/user/1000");
        EXPECT_EQ(defaultDdeDirectory(), "/run/user/1000/orvane-dde");
    }
    ScopedEnvironment unset("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_EQ(defaultDdeDirectory(), "/tmp/orvane-dde-" + std::to_string(::geteuid()));
}

TEST_F(DdeTest, AStaleSocketIsReplacedALiveServerIsNot) {
    {
        UniqueFd dead = listeningSocket(folder + "/trmvw32");
    }  // closed without removing its socket file, as a crashed server leaves it
    ASSERT_TRUE(std::filesystem::exists(folder + "/trmvw32"));
    DdeServerThread server(folder, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    DdeServerThread second(folder, "TRMVW32", "System");
    EXPECT_FALSE(second.running());
    EXPECT_EQ(second.error(), "another server already serves " + folder + "/trmvw32");
    EXPECT_TRUE(ddeExecute("trmvw32", "System", "x", client).delivered());
}

TEST_F(DdeTest, TheSocketGoesAwayWithTheServer) {
    {
        DdeServerThread server(folder, "trmvw32", "System");
        ASSERT_TRUE(server.running()) << server.error();
        EXPECT_TRUE(std::filesystem::exists(folder + "/trmvw32"));
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/trmvw32"));
}

TEST_F(DdeTest, BadOrOversizedRequestsAreDroppedAtOnceAndServingGoesOn) {
    DdeServerThread server(folder, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    std::string tooLong = encodeDdeRequest("System", "x");
    tooLong[6] = tooLong[7] = tooLong[8] = tooLong[9] = '\x7f';  // a command of 2 GiB
    UniqueFd first = connectedSocket(server.socketPath());
    ASSERT_EQ(::write(first.get(), tooLong.data(), kDdeHeaderBytes),
              static_cast<ssize_t>(kDdeHeaderBytes));
    EXPECT_EQ(readUntilClosed(first.get(), 1000), "");
    UniqueFd second = connectedSocket(server.socketPath());
    ASSERT_EQ(::write(second.get(), "GET / HTTP/1.0\r\n\r\n", 18), 18);
    EXPECT_EQ(readUntilClosed(second.get(), 1000), "");
    EXPECT_TRUE(ddeExecute("trmvw32", "System", "after", client).delivered());
    EXPECT_EQ(server.received(), (Received{{"System", "after"}}));
}

TEST_F(DdeTest, ASilentClientIsDroppedAfterItsTimeAndBlocksNobody) {
    DdeServerThread server(folder, "trmvw32", "System", true, 300);
    ASSERT_TRUE(server.running()) << server.error();
    UniqueFd silent = connectedSocket(server.socketPath());
    std::string request = encodeDdeRequest("System", "[open(\"/half\")]");
    ASSERT_EQ(::write(silent.get(), request.data(), 12), 12);  // header and part of the topic
    EXPECT_TRUE(ddeExecute("trmvw32", "System", "meanwhile", client).delivered());
    EXPECT_EQ(readUntilClosed(silent.get(), 5000), "");
    EXPECT_EQ(server.received(), (Received{{"System", "meanwhile"}}));
}

TEST_F(DdeTest, AnAnswerArrivesByteByByte) {
    DdeServerThread server(folder, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    UniqueFd slow = connectedSocket(server.socketPath());
    std::string request = encodeDdeRequest("System", "[open(\"/slow\")]");
    for (char byte : request) {
        ASSERT_EQ(::send(slow.get(), &byte, 1, MSG_NOSIGNAL), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(readUntilClosed(slow.get(), 2000), "AH");
    UniqueFd wrongTopic = connectedSocket(server.socketPath());
    request = encodeDdeRequest("Other", "x");
    ASSERT_EQ(::write(wrongTopic.get(), request.data(), request.size()),
              static_cast<ssize_t>(request.size()));
    EXPECT_EQ(readUntilClosed(wrongTopic.get(), 2000), "R");
}

TEST(DdeRequestReaderTest, RequestsAreReadInPiecesAndBadOnesRefusedEarly) {
    std::string request = encodeDdeRequest("System", "[open(\"/a\")]");
    DdeRequestReader reader;
    std::vector<DdeRequestReader::State> states;
    for (char byte : request)
        states.push_back(reader.feed(std::string_view(&byte, 1)));
    EXPECT_EQ(states[kDdeHeaderBytes + 4], DdeRequestReader::State::NeedMore);
    EXPECT_EQ(states[kDdeHeaderBytes + 5], DdeRequestReader::State::TopicComplete);
    EXPECT_EQ(states.back(), DdeRequestReader::State::Complete);
    EXPECT_EQ(reader.topic(), "System");
    EXPECT_EQ(reader.command(), "[open(\"/a\")]");
    EXPECT_EQ(reader.feed("x"), DdeRequestReader::State::Invalid);

    EXPECT_EQ(DdeRequestReader().feed("OD"), DdeRequestReader::State::NeedMore);
    EXPECT_EQ(DdeRequestReader().feed("XD"), DdeRequestReader::State::Invalid);
    std::string noTopic = encodeDdeRequest("", "x");
    EXPECT_EQ(DdeRequestReader().feed(noTopic), DdeRequestReader::State::Invalid);
    std::string wrongVersion = request;
    wrongVersion[4] = 2;
    EXPECT_EQ(DdeRequestReader().feed(wrongVersion), DdeRequestReader::State::Invalid);
    EXPECT_EQ(DdeRequestReader().feed(request + "trailing"), DdeRequestReader::State::Invalid);
    std::string empty = encodeDdeRequest("System", "");
    EXPECT_EQ(DdeRequestReader().feed(empty), DdeRequestReader::State::Complete);
}

// A process of another user (nobody) that connects to the socket and reports
// what the server sent back: root only.
std::string answerToAnotherUser(const std::string& socketPath, const std::string& request) {
    int ends[2];
    if (::pipe(ends) != 0)
        return "no pipe";
    pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            _exit(1);
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address = addressOf(socketPath);
        if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            _exit(2);
        (void)!::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL);
        std::string answer = readUntilClosed(fd.get(), 3000);
        (void)!::write(ends[1], answer.data(), answer.size());
        _exit(0);
    }
    ::close(ends[1]);
    std::string answer = readUntilClosed(ends[0], 8000);
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0
               ? answer
               : "child failed with " + std::to_string(WEXITSTATUS(status));
}

TEST_F(DdeTest, AClientOfAnotherUserIsNotServed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can run a client as another user";
    DdeServerThread server(folder, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    // Open the way to the socket, as a careless user might, to reach the
    // server's own check.
    ::chmod(runtime.path().c_str(), 0711);
    ::chmod(folder.c_str(), 0711);
    ::chmod(server.socketPath().c_str(), 0777);
    EXPECT_EQ(answerToAnotherUser(server.socketPath(), encodeDdeRequest("System", "x")), "");
    EXPECT_TRUE(server.received().empty());
}

// A listening socket owned by another user (nobody) in the folder, kept
// open until the returned process is killed.
pid_t listenAsAnotherUser(const std::string& socketPath) {
    int ends[2];
    if (::pipe(ends) != 0)
        return -1;
    pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            _exit(1);
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address = addressOf(socketPath);
        if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd.get(), 4) != 0)
            _exit(2);
        (void)!::write(ends[1], "R", 1);
        ::sleep(20);  // bounded; the test kills it long before
        _exit(0);
    }
    ::close(ends[1]);
    pollfd wait{ends[0], POLLIN, 0};
    char ready = 0;
    bool listening = ::poll(&wait, 1, 5000) == 1 && ::read(ends[0], &ready, 1) == 1;
    ::close(ends[0]);
    if (listening)
        return child;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
}

TEST_F(DdeTest, AServerOfAnotherUserIsNotSentTheCommand) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can run a server as another user";
    ::chmod(runtime.path().c_str(), 0711);
    ::chmod(folder.c_str(), 0777);
    pid_t impostor = listenAsAnotherUser(folder + "/trmvw32");
    ::chmod(folder.c_str(), 0700);
    ASSERT_GT(impostor, 0);
    DdeOutcome outcome = ddeExecute("trmvw32", "System", "[open(\"/private\")]", client);
    ::kill(impostor, SIGKILL);
    ::waitpid(impostor, nullptr, 0);
    EXPECT_FALSE(outcome.delivered());
    EXPECT_EQ(outcome.failure, "the server of service \"trmvw32\" belongs to another user");
}

}  // namespace
}  // namespace orvane
