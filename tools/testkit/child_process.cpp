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
#include <stdexcept>
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

namespace {

using Steady = std::chrono::steady_clock;
constexpr uid_t kNobody = 65534;
constexpr auto kPollStep = std::chrono::milliseconds(5);

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

// A file with no name, for a child's output: nothing is left behind.
int anonymousFile() {
    char name[] = "/tmp/orvane-output-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0)
        unlink(name);
    return fd;
}

// In the child between fork and exec: only calls that are safe there, on
// vectors made before the fork.
[[noreturn]] void execChild(const ProgramRun& run, int out, int err, char* const* argv,
                            char* const* envp) {
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    int input = run.inputFd >= 0 ? run.inputFd : ::open("/dev/null", O_RDONLY);
    if (input >= 0)
        dup2(input, STDIN_FILENO);
    if (run.asUnprivilegedUser && getuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
        _exit(126);
    execve(run.path.c_str(), argv, envp);
    _exit(127);
}

// Waits for the child within the run's bound; kills it (by its PID) when it
// overstays. Interrupts it first when asked to, as Ctrl-C would.
void waitWithin(pid_t pid, const ProgramRun& run, ProgramResult& result) {
    const auto started = Steady::now();
    const auto deadline = started + std::chrono::duration<double>(run.timeoutSeconds);
    const auto interruptAt = started + std::chrono::duration<double>(run.interruptAfterSeconds);
    bool interrupted = run.interruptAfterSeconds <= 0;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Steady::now() >= deadline) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        if (!interrupted && Steady::now() >= interruptAt)
            interrupted = kill(pid, SIGINT) == 0;
        std::this_thread::sleep_for(kPollStep);
    }
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

pid_t startChild(const ProgramRun& run, int out, int err) {
    std::vector<std::string> argv{run.path};
    argv.insert(argv.end(), run.arguments.begin(), run.arguments.end());
    std::vector<std::string> envp = mergedEnvironment(run.environment);
    auto argvPointers = pointersTo(argv);
    auto envPointers = pointersTo(envp);
    pid_t pid = fork();
    if (pid == 0)
        execChild(run, out, err, argvPointers.data(), envPointers.data());
    return pid;
}

int waitForChild(pid_t pid, double seconds) {
    ProgramRun run;
    run.timeoutSeconds = seconds;
    ProgramResult result;
    waitWithin(pid, run, result);
    return result.exitStatus;
}

ProgramResult runProgram(const ProgramRun& run) {
    ProgramResult result;
    int out = anonymousFile(), err = anonymousFile();
    if (out < 0 || err < 0)
        throw std::runtime_error("cannot create output files");
    auto started = Steady::now();
    pid_t pid = startChild(run, out, err);
    if (pid > 0)
        waitWithin(pid, run, result);
    result.seconds = std::chrono::duration<double>(Steady::now() - started).count();
    result.standardOutput = readAll(out);
    result.standardError = readAll(err);
    ::close(out);
    ::close(err);
    return result;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment, int timeoutMs) {
    ProgramRun run;
    run.path = program;
    run.arguments = arguments;
    run.environment = environment;
    run.timeoutSeconds = timeoutMs / 1000.0;
    return runProgram(run);
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
