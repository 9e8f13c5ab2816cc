#include "platform/program_start.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/unique_fd.h"

extern char** environ;

namespace orvane {
namespace {

// Where the program may be: the name itself when it holds a "/", else each
// folder of $PATH in turn. Worked out before forking, as the child may only
// make async-signal-safe calls.
std::vector<std::string> candidatePaths(const std::string& program) {
    if (program.find('/') != std::string::npos)
        return {program};
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::vector<std::string> candidates;
    std::size_t start = 0;
    for (;;) {
        std::size_t colon = folders.find(':', start);
        std::string folder = folders.substr(start, colon - start);
        candidates.push_back((folder.empty() ? "." : folder) + "/" + program);
        if (colon == std::string::npos)
            return candidates;
        start = colon + 1;
    }
}

int resultForErrno(int error) {
    switch (error) {
        case 0:
            return kProgramStarted;
        case ENOENT:
            return kStartFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return kStartPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
            return kStartAccessDenied;
        case ENOMEM:
        case E2BIG:
            return kStartOutOfMemory;
        case ENOEXEC:
        case ELIBBAD:
            return kStartNotExecutable;
        default:
            return kStartFailedOther;
    }
}

// Marks every descriptor above the standard streams close-on-exec (the
// report pipe already is), in one call where the kernel offers it.
void closeOurDescriptorsOnExec(int descriptorLimit) {
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    for (int fd = 3; fd < descriptorLimit; ++fd)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Runs in the started program's own process, before it becomes the
// program: a clean signal state, no descriptor of ours, and on failure the
// reason written to the pipe. A file that is not a program fails with
// ENOEXEC; it is never handed to a shell instead.
[[noreturn]] void becomeProgram(const std::vector<std::string>& candidates, char** argv,
                                char** envp, int descriptorLimit, int report) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    closeOurDescriptorsOnExec(descriptorLimit);
    // As execvp does: a folder of $PATH without the program, or one this
    // user may not enter, is passed over, and a program found but not
    // allowed is reported as such when no later folder has it.
    int error = ENOENT;
    bool denied = false;
    for (const std::string& candidate : candidates) {
        execve(candidate.c_str(), argv, envp);
        error = errno;
        denied = denied || error == EACCES;
        if (error != ENOENT && error != ENOTDIR && error != EACCES)
            break;
    }
    if (denied && (error == ENOENT || error == ENOTDIR))
        error = EACCES;
    ssize_t ignored = write(report, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

// The started program's errno, or 0 when it was started: the pipe closes
// without a word when the program image replaced the child.
int readStartError(int report) {
    int error = 0;
    for (;;) {
        ssize_t got = ::read(report, &error, sizeof error);
        if (got < 0 && errno == EINTR)
            continue;
        return got == static_cast<ssize_t>(sizeof error) ? error : (got < 0 ? errno : 0);
    }
}

// Everything a start needs, worked out before forking.
class PreparedStart {
  public:
    PreparedStart(const std::string& program, const std::vector<std::string>& arguments,
                  const EnvironmentChanges& changes)
        : candidates_(candidatePaths(program)) {
        long openMax = ::sysconf(_SC_OPEN_MAX);
        descriptorLimit_ = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;
        texts_.push_back(program);
        texts_.insert(texts_.end(), arguments.begin(), arguments.end());
        for (char** variable = environ; *variable != nullptr; ++variable) {
            std::string text = *variable;
            std::string name = text.substr(0, text.find('='));
            bool changed = false;
            for (const auto& change : changes)
                changed = changed || change.first == name;
            if (!changed)
                environment_.push_back(text);
        }
        for (const auto& change : changes)
            environment_.push_back(change.first + "=" + change.second);
        argv_ = pointersTo(texts_);
        envp_ = pointersTo(environment_);
    }
    [[noreturn]] void become(int report) {
        becomeProgram(candidates_, argv_.data(), envp_.data(), descriptorLimit_, report);
    }

  private:
    static std::vector<char*> pointersTo(std::vector<std::string>& texts) {
        std::vector<char*> pointers;
        for (std::string& text : texts)
            pointers.push_back(text.data());
        pointers.push_back(nullptr);
        return pointers;
    }

    std::vector<std::string> candidates_, texts_, environment_;
    std::vector<char*> argv_, envp_;
    int descriptorLimit_ = 0;
};

void reap(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

int startProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const EnvironmentChanges& changes) {
    if (program.empty())
        return kStartFileNotFound;
    PreparedStart start(program, arguments, changes);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return resultForErrno(errno);
    UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    // An intermediate process starts the program and ends at once, so the
    // program is nobody's child here and never has to be waited for.
    pid_t intermediate = ::fork();
    if (intermediate < 0)
        return resultForErrno(errno);
    if (intermediate == 0) {
        pid_t child = ::fork();
        if (child == 0)
            start.become(writeEnd.get());
        int error = child < 0 ? errno : 0;
        if (child < 0)
            (void)!::write(writeEnd.get(), &error, sizeof error);
        _exit(0);
    }
    writeEnd.reset();
    reap(intermediate);
    return resultForErrno(readStartError(readEnd.get()));
}

std::optional<pid_t> startChildProgram(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const EnvironmentChanges& changes) {
    if (program.empty())
        return std::nullopt;
    PreparedStart start(program, arguments, changes);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0)
        start.become(writeEnd.get());
    writeEnd.reset();
    if (readStartError(readEnd.get()) != 0) {
        reap(child);
        return std::nullopt;
    }
    return child;
}

}  // namespace orvane
