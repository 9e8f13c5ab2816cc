#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/testkit/temp_folder.h"

namespace orvane::dspicsim {

// The tests' temporary folders, named here as the tests have always used them.
using testkit::TempFolder;

struct ProgramResult {
    int status = -1;  // exit status, or -1 when it did not exit by itself
    int signal = 0;   // the signal that ended it, if one did
    std::string out;
    std::string err;
    bool timedOut = false;
    double seconds = 0;  // wall time from start to exit
};

struct ProgramRun {
    std::string path;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;  // added to the inherited one
    double timeoutSeconds = 60;                      // killed after this
    bool asUnprivilegedUser = false;                 // when started as root: run as nobody
    int inputFd = -1;                                // standard input; /dev/null when -1
    double interruptAfterSeconds = 0;  // sends SIGINT this long after the start, when > 0
};

// Starts a program, captures its output and waits for it within its bound.
ProgramResult RunProgram(const ProgramRun& run);

// dspic-sim started as a child process on a pty published as comN in a fresh
// dosdevices folder. Stopped (by its PID) when the object goes.
class SimProcess {
  public:
    struct Stats {
        std::uint64_t bytesFromHost = 0;
        std::uint64_t bytesToHost = 0;
        int rowsProgrammed = 0;
        std::vector<std::string> faults;
    };

    // Waits until comN exists; throws std::runtime_error when it never does.
    SimProcess(const std::string& binDir, std::vector<std::string> options, int port = 1);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& dosdevices() const { return folder_.path(); }
    const TempFolder& folder() const { return folder_; }
    // Ends the simulator and waits for it; its exit status (0: no faults seen).
    int stop();
    std::vector<std::uint8_t> flash() const;
    Stats stats() const;

  private:
    TempFolder folder_;
    std::string entry_;
    pid_t pid_ = -1;
    int exitStatus_ = -1;
};

}  // namespace orvane::dspicsim
