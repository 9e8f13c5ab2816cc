#include "tools/dspic_sim/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace orvane::dspicsim {

namespace fs = std::filesystem;

namespace {

using Steady = std::chrono::steady_clock;
constexpr uid_t kNobody = 65534;
constexpr double kSimStartSeconds = 10;
constexpr double kSimStopSeconds = 10;
constexpr auto kPollStep = std::chrono::milliseconds(5);

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

int anonymousFile() {
    char name[] = "/tmp/orvane-output-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0)
        unlink(name);
    return fd;
}

[[noreturn]] void execChild(const ProgramRun& run, int out, int err) {
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    int input = run.inputFd >= 0 ? run.inputFd : ::open("/dev/null", O_RDONLY);
    if (input >= 0)
        dup2(input, STDIN_FILENO);
    for (const auto& [name, value] : run.environment)
        setenv(name.c_str(), value.c_str(), 1);
    if (run.asUnprivilegedUser && getuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
        _exit(126);
    std::vector<char*> argv{const_cast<char*>(run.path.c_str())};
    for (const auto& argument : run.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(run.path.c_str(), argv.data());
    _exit(127);
}

// Waits for the child within the bound; kills it (by its PID) when it
// overstays. Interrupts it first when asked to, as Ctrl-C would.
int waitWithin(pid_t pid, double seconds, bool& timedOut, double interruptAfter = 0,
               int* endingSignal = nullptr) {
    const auto started = Steady::now();
    const auto deadline = started + std::chrono::duration<double>(seconds);
    bool interrupted = interruptAfter <= 0;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Steady::now() >= deadline) {
            timedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        if (!interrupted &&
            Steady::now() >= started + std::chrono::duration<double>(interruptAfter))
            interrupted = kill(pid, SIGINT) == 0;
        std::this_thread::sleep_for(kPollStep);
    }
    if (endingSignal && WIFSIGNALED(status))
        *endingSignal = WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ProgramResult RunProgram(const ProgramRun& run) {
    ProgramResult result;
    int out = anonymousFile(), err = anonymousFile();
    if (out < 0 || err < 0)
        throw std::runtime_error("cannot create output files");
    auto started = Steady::now();
    pid_t pid = fork();
    if (pid == 0)
        execChild(run, out, err);
    if (pid > 0)
        result.status = waitWithin(pid, run.timeoutSeconds, result.timedOut,
                                   run.interruptAfterSeconds, &result.signal);
    result.seconds = std::chrono::duration<double>(Steady::now() - started).count();
    result.out = readAll(out);
    result.err = readAll(err);
    ::close(out);
    ::close(err);
    return result;
}

SimProcess::SimProcess(const std::string& binDir, std::vector<std::string> options, int port)
    : folder_("orvane-dspic-sim"), entry_(folder_.file("com" + std::to_string(port))) {
    std::vector<std::string> arguments{"--dosdevices", folder_.path(),
                                       "--port",       std::to_string(port),
                                       "--flash-out",  folder_.file("flash.bin"),
                                       "--stats-out",  folder_.file("stats.txt")};
    arguments.insert(arguments.end(), options.begin(), options.end());
    ProgramRun run{binDir + "/dspic-sim", arguments, {}, 0, false};
    pid_ = fork();
    if (pid_ == 0)
        execChild(run, STDOUT_FILENO, STDERR_FILENO);
    if (pid_ < 0)
        throw std::runtime_error("cannot start dspic-sim");
    auto deadline = Steady::now() + std::chrono::duration<double>(kSimStartSeconds);
    std::error_code ec;
    while (!fs::is_symlink(entry_, ec)) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("dspic-sim ended before publishing " + entry_);
        }
        if (Steady::now() >= deadline) {
            stop();
            throw std::runtime_error("dspic-sim did not publish " + entry_);
        }
        std::this_thread::sleep_for(kPollStep);
    }
}

SimProcess::~SimProcess() {
    stop();
}

int SimProcess::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        bool timedOut = false;
        exitStatus_ = waitWithin(pid_, kSimStopSeconds, timedOut);
        pid_ = -1;
    }
    return exitStatus_;
}

std::vector<std::uint8_t> SimProcess::flash() const {
    std::ifstream file(folder_.file("flash.bin"), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

SimProcess::Stats SimProcess::stats() const {
    Stats stats;
    std::ifstream file(folder_.file("stats.txt"));
    for (std::string line; std::getline(file, line);) {
        std::size_t space = line.find(' ');
        std::string key = line.substr(0, space);
        std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "bytes_from_host")
            stats.bytesFromHost = std::stoull(value);
        if (key == "bytes_to_host")
            stats.bytesToHost = std::stoull(value);
        if (key == "rows_programmed")
            stats.rowsProgrammed = std::stoi(value);
        if (key == "fault")
            stats.faults.push_back(value);
    }
    return stats;
}

}  // namespace orvane::dspicsim
