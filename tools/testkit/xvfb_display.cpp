#include "tools/testkit/xvfb_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "tools/testkit/child_process.h"

extern char** environ;

namespace orvane::testkit {
namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kDisplayFd = 3;

// Reads the display number that Xvfb writes once it is ready.
std::string readDisplayNumber(int fd) {
    std::string number;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)
            continue;
        char c = 0;
        if (::read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return number;
        number += c;
    }
    return {};
}

}  // namespace

XvfbDisplay::XvfbDisplay() {
    std::string program = requiredProgramPath("Xvfb");
    int ends[2];
    if (program.empty() || ::pipe2(ends, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], kDisplayFd);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // -noreset: the server would otherwise reset whenever its last client
    // leaves, and refuse a client that arrives during the reset.
    std::vector<std::string> args{program,    "-displayfd", std::to_string(kDisplayFd),
                                  "-noreset", "-nolisten",  "tcp",
                                  "-screen",  "0",          "1280x1024x24"};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    std::string number = pid_ > 0 ? readDisplayNumber(ends[0]) : "";
    ::close(ends[0]);
    if (!number.empty())
        name_ = ":" + number;
}

XvfbDisplay::~XvfbDisplay() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

}  // namespace orvane::testkit
