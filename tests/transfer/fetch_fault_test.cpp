// Faults met by the orvane-fetch program: a body without end (its memory,
// and SIGTERM as Cancel), a header without end, a full disk and a download
// folder that disappears. Each ends in its failure text and status 1; no
// temporary file stays and an earlier file of the same name keeps its bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "tests/transfer/real_servers.h"
#include "tests/transfer/transfer_harness.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/wait_until.h"
#include "tools/transfer_peers/scripted_ftp_server.h"
#include "tools/transfer_peers/scripted_http_server.h"

extern char** environ;

namespace orvane::testing {

using testkit::TempFolder;

using testkit::ChildProcess;
using testkit::mergedEnvironment;
using testkit::pointersTo;
using testkit::readFileText;

namespace {

using peers::FtpScript;
using peers::HttpScript;
using peers::ScriptedFtpServer;
using peers::ScriptedHttpServer;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

constexpr char kEarlier[] = "the earlier ev.sac, which must survive";
constexpr long long kMegabyte = 1 << 20;
// The whole program, engine and GLib included, while hundreds of MB pass.
constexpr long long kPeakLimitKb = 32 * 1024;
// Under a sanitizer the base is larger; what may not grow is the part that
// depends on how much has passed.
constexpr long long kGrowthLimitKb = 8 * 1024;

struct FetchFolders {
    TempFolder home;
    std::string downloads = home / "downloads";
    std::string earlier = downloads + "/ev.sac";
    std::string errors = home / "stderr";
    FetchFolders() {
        std::filesystem::create_directories(downloads);
        std::filesystem::create_directories(home / "config/orvane");
        WriteFile(earlier, kEarlier);
    }
    std::map<std::string, std::string> Environment() const {
        return {{"HOME", home.path()},
                {"XDG_CONFIG_HOME", home / "config"},
                {"ORVANE_HKLM", home / "hklm.ini"},
                {"ORVANE_HKCU", home / "hkcu.ini"}};
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(downloads))
            names.push_back(entry.path().filename().string());
        return names;
    }
    // Only the earlier file, with its own bytes.
    void ExpectUntouched() const {
        EXPECT_EQ(Names(), std::vector<std::string>{"ev.sac"});
        EXPECT_EQ(ReadFile(earlier), kEarlier);
    }
};

std::string LastLine(const std::string& text) {
    std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
    return trimmed.substr(trimmed.rfind('\n') + 1);
}

// VmHWM of a running process, in kB; -1 when it cannot be read.
long long PeakMemoryKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    return -1;
}

// In the child between fork and exec: only calls that are safe there.
[[noreturn]] void ExecWithFileLimit(char** argv, char** envp, const char* errPath, rlim_t limit) {
    int err = ::open(errPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int none = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (err < 0 || none < 0 || ::dup2(err, 2) < 0 || ::dup2(none, 0) < 0 || ::dup2(none, 1) < 0)
        ::_exit(126);
    rlimit size{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &size);
    // Ignored, SIGXFSZ turns a write beyond the limit into EFBIG, as a full
    // disk turns it into ENOSPC; the disposition survives exec.
    ::signal(SIGXFSZ, SIG_IGN);
    ::execve(argv[0], argv, envp);
    ::_exit(127);
}

// orvane-fetch run to its end (at most timeoutMs) with every file it writes
// limited to limit bytes; its exit status, -1 when it had to be killed.
int RunFetchWithFileLimit(const std::vector<std::string>& arguments, const FetchFolders& folders,
                          rlim_t limit, int timeoutMs) {
    std::vector<std::string> argv{FetchProgram()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = mergedEnvironment(folders.Environment());
    auto argvPointers = pointersTo(argv);
    auto envPointers = pointersTo(envp);
    pid_t pid = ::fork();
    if (pid == 0)
        ExecWithFileLimit(argvPointers.data(), envPointers.data(), folders.errors.c_str(), limit);
    if (pid < 0)
        return -1;
    int status = 0;
    bool reaped = false;
    testkit::waitUntil([&] { return reaped || (reaped = ::waitpid(pid, &status, WNOHANG) == pid); },
                       timeoutMs);
    if (!reaped) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string HeaderOfLength(long long length) {
    return "HTTP/1.1 200 OK\r\nServer: scripted\r\nContent-Type: application/octet-stream\r\n"
           "Content-Length: " +
           std::to_string(length) + "\r\n\r\n";
}

// A server that sends forever after a Content-Length of a terabyte: the
// download runs until SIGTERM, hundreds of MB pass through a program whose
// memory stays small, and the Cancel leaves nothing behind.
TEST(FetchProgramFault, AnEndlessBodyKeepsMemorySmallAndSigtermLeavesNoFile) {
    HttpScript script{{{HeaderOfLength(1000000000000LL)}}};
    script.endlessPiece = PatternBytes(65536);
    ScriptedHttpServer server(script, 120, 1);
    FetchFolders folders;
    ChildProcess fetch(FetchProgram(),
                       {"http://" + server.host() + "/quakes/ev.sac", folders.downloads},
                       folders.Environment(), folders.errors);
    ASSERT_TRUE(fetch.started());
    ASSERT_TRUE(testkit::waitUntil([&] { return server.bytesSent() >= 32 * kMegabyte; }, 60000));
    long long earlyPeak = PeakMemoryKb(fetch.pid());
    ASSERT_TRUE(testkit::waitUntil([&] { return server.bytesSent() >= 320 * kMegabyte; }, 90000))
        << "only " << server.bytesSent() / kMegabyte << " MB passed";
    long long peak = PeakMemoryKb(fetch.pid());
    ASSERT_TRUE(fetch.running());
    EXPECT_EQ(folders.Names().size(), 2u);  // the earlier file and the one being written
    ::kill(fetch.pid(), SIGTERM);
    EXPECT_EQ(fetch.waitForExit(5000), 1);
    std::cout << "orvane-fetch peak memory (VmHWM): " << earlyPeak << " kB after 32 MB, " << peak
              << " kB after " << server.bytesSent() / kMegabyte << " MB\n";
    RecordProperty("peak_kb", std::to_string(peak));
    EXPECT_GT(earlyPeak, 0);
    EXPECT_LT(peak - earlyPeak, kGrowthLimitKb);
    if (!kSanitized) {
        EXPECT_LT(peak, kPeakLimitKb);
    }
    EXPECT_EQ(LastLine(readFileText(folders.errors)), "Canceled");
    folders.ExpectUntouched();
}

TEST(FetchProgramFault, AnEndlessHeaderEndsInHeaderError) {
    HttpScript script{{{"HTTP/1.1 200 OK\r\n"}}};
    script.endlessPiece = "X-Flood: " + std::string(1000, 'h') + "\r\n";
    ScriptedHttpServer server(script, 60, 1);
    FetchFolders folders;
    FetchResult result = RunFetch({"http://" + server.host() + "/quakes/ev.sac", folders.downloads},
                                  folders.Environment(), 30000);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(LastLine(result.err), "Header Error");
    EXPECT_TRUE(testkit::waitUntil([&] { return server.clientClosed(); }, 5000));
    folders.ExpectUntouched();
}

// The file may not grow past 256 KB: the write that crosses it fails.
constexpr rlim_t kFileLimit = 256 * 1024;

TEST(FetchProgramFault, AFullDiskEndsInWriteFileErrorOverHttp) {
    std::string body = PatternBytes(1 << 20);
    ScriptedHttpServer server(HttpScript{{{ScriptedHttpServer::Response("HTTP/1.1 200 OK", body)}}},
                              60, 1);
    FetchFolders folders;
    int status = RunFetchWithFileLimit({"http://" + server.host() + "/ev.sac", folders.downloads},
                                       folders, kFileLimit, 30000);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(LastLine(readFileText(folders.errors)), "Write File Error");
    folders.ExpectUntouched();
}

TEST(FetchProgramFault, AFullDiskEndsInWriteFileErrorOverFtp) {
    FtpScript script;
    script.file = PatternBytes(1 << 20);
    ScriptedFtpServer server(script, 60, 1);
    FetchFolders folders;
    int status = RunFetchWithFileLimit({"ftp://" + server.host() + "/ev.sac", folders.downloads},
                                       folders, kFileLimit, 30000);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(LastLine(readFileText(folders.errors)), "Write File Error");
    folders.ExpectUntouched();
}

TEST(FetchProgramFault, TheDownloadFolderRemovedDuringTheBodyEndsInWriteFileError) {
    std::string response = ScriptedHttpServer::Response("HTTP/1.1 200 OK", PatternBytes(200000));
    ScriptedHttpServer server(
        HttpScript{{{response.substr(0, 100000)}, {response.substr(100000), 1000}}}, 60, 1);
    FetchFolders folders;
    ChildProcess fetch(FetchProgram(), {"http://" + server.host() + "/ev.sac", folders.downloads},
                       folders.Environment(), folders.errors);
    ASSERT_TRUE(fetch.started());
    ASSERT_TRUE(testkit::waitUntil([&] { return server.partsSent() >= 1; }, 10000));
    std::filesystem::remove_all(folders.downloads);
    EXPECT_EQ(fetch.waitForExit(10000), 1);
    EXPECT_EQ(server.partsSent(), 2);
    EXPECT_EQ(LastLine(readFileText(folders.errors)), "Write File Error");
    EXPECT_FALSE(std::filesystem::exists(folders.downloads));
}

}  // namespace
}  // namespace orvane::testing
