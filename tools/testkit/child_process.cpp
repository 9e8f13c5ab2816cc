#include "tools/testkit/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace orvane::testkit {

std::string requiredProgramPath(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), F_OK) == 0 ? name : std::string();
    // The servers live in sbin folders, which a user's PATH may not hold.
    const char* path = std::getenv("PATH");
    std::string folders = std::string(path ? path : "") + ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::istringstream list(folders);
    std::string folder;
    while (std::getline(list, folder, ':'))
        if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0)
            return folder + "/" + name;
    return {};
}

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra) {
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        auto equals = text.find('=');
        if (equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : extra) {
        if (value.empty())
            merged.erase(name);  // an empty value removes the variable
        else
            merged[name] = value;
    }
    std::vector<std::string> list;
    for (const auto& [name, value] : merged)
        list.push_back(name + "=" + value);
    return list;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment,
                           const std::string& stderrFile, const ChildSetup& setup) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = mergedEnvironment(environment);
    auto argvPointers = pointersTo(argv);
    auto envPointers = pointersTo(envp);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!setup.stdoutFile.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, setup.stdoutFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!setup.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, setup.workingFolder.c_str());
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argvPointers.data(),
                    envPointers.data()) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ <= 0 || reaped_)
        return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

std::optional<int> ChildProcess::waitForExit(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reaped_ && pid_ > 0) {
        int status = 0;
        pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            if (WIFEXITED(status))
                status_ = WEXITSTATUS(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

void ChildProcess::terminate() const {
    if (pid_ > 0 && !reaped_)
        ::kill(pid_, SIGTERM);
}

bool ChildProcess::running() {
    waitForExit(0);
    return pid_ > 0 && !reaped_;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment, int timeoutMs) {
    char pattern[] = "/tmp/orvane-stderr-XXXXXX";
    int fd = ::mkstemp(pattern);
    if (fd >= 0)
        ::close(fd);
    ProgramResult result;
    {
        ChildProcess child(program, arguments, environment, pattern);
        result.exitStatus = child.waitForExit(timeoutMs).value_or(-1);
    }
    result.standardError = readFileText(pattern);
    ::unlink(pattern);
    return result;
}

std::string programFolder() {
    const char* bin = std::getenv("ORVANE_BIN");
    return bin ? bin : "";
}

std::string readFileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace orvane::testkit
