#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvane::testkit {

// Where a child's standard output goes (inherited when empty) and the
// folder it starts in (the test's when empty).
struct ChildSetup {
    std::string stdoutFile;
    std::string workingFolder;
};

// A program run by a test: started with an argument vector and extra
// environment variables, its standard error kept in a file. Whatever
// happens, it is killed (by its PID) and reaped when the object ends.
class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment,
                 const std::string& stderrFile, const ChildSetup& setup = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // The exit status once it has ended within the time; nullopt if it is
    // still running then (or ended by a signal).
    std::optional<int> waitForExit(int timeoutMs);
    // Sends SIGTERM.
    void terminate() const;
    bool running();

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    bool reaped_ = false;
};

// A program to run to its end: its argument vector, the variables changed
// for it (an empty value removes one), its bound, and how it is started.
struct ProgramRun {
    std::string path;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;
    double timeoutSeconds = 60;        // killed (by its PID) after this
    bool asUnprivilegedUser = false;   // when started as root: run as nobody
    int inputFd = -1;                  // standard input; /dev/null when -1
    double interruptAfterSeconds = 0;  // SIGINT this long after the start, when > 0
};

// What a run left: the exit status (-1 when it did not exit by itself: a
// signal, or killed at its bound), both outputs, and its wall time.
struct ProgramResult {
    int exitStatus = -1;
    int signal = 0;  // the signal that ended it, if one did
    std::string standardOutput;
    std::string standardError;
    bool timedOut = false;
    double seconds = 0;
};
ProgramResult runProgram(const ProgramRun& run);
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment, int timeoutMs);
// Starts the run's program with its standard output and error on the
// descriptors given and returns its PID (-1 when it cannot be started); the
// caller waits for it.
pid_t startChild(const ProgramRun& run, int out, int err);
// Waits for such a child at most the seconds given, kills it (by its PID)
// when it overstays; its exit status, or -1 when it did not exit by itself.
int waitForChild(pid_t pid, double seconds);

// The test's own environment with the extra variables set (an empty value
// removes the variable), as NAME=value texts.
std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra);
// The texts as a null-ended argument or environment vector for exec.
std::vector<char*> pointersTo(std::vector<std::string>& texts);

// Where an outside program the tests start lives ("" when it is missing).
// Names come from tests/required-programs.txt; a name with a "/" is a path.
std::string requiredProgramPath(const std::string& name);

// The folder of the built programs ($ORVANE_BIN, set by CTest).
std::string programFolder();
std::string readFileText(const std::string& path);

}  // namespace orvane::testkit
