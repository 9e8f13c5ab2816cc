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

// Runs a program to its end (at most timeoutMs) and returns its exit status
// and standard error; a program still running then is killed and the status
// is -1.
struct ProgramResult {
    int exitStatus = -1;
    std::string standardError;
};
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment, int timeoutMs);

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
