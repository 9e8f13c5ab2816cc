#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"

namespace orvane::dspicsim {

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
    const testkit::TempFolder& folder() const { return folder_; }
    // Ends the simulator and waits for it; its exit status (0: no faults seen).
    int stop();
    std::vector<std::uint8_t> flash() const;
    Stats stats() const;

  private:
    testkit::TempFolder folder_;
    std::string entry_;
    pid_t pid_ = -1;
    int exitStatus_ = -1;
};

}  // namespace orvane::dspicsim
