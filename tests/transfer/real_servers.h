#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/platform/temp_folder.h"

namespace orvane::testing {

// A real server (nginx, vsftpd or pyftpdlib) on a free loopback port,
// started by tools/transfer_servers/start-server for the life of the object
// and stopped by its PID.
class RealServer {
  public:
    RealServer(const std::string& kind, const std::string& root);
    ~RealServer();
    RealServer(const RealServer&) = delete;
    RealServer& operator=(const RealServer&) = delete;

    bool started() const { return started_; }
    const std::string& failure() const { return failure_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    TempFolder work_;
    int port_ = 0;
    bool started_ = false;
    std::string failure_;
    std::string kind_;
};

// Whether the server program is installed (scripts/install-deps brings it).
bool ServerInstalled(const std::string& kind);

struct FetchResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
};
// Runs orvane-fetch with the arguments and extra environment (an empty value
// removes a variable) to its end, at most timeoutMs.
FetchResult RunFetch(const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, int timeoutMs,
                     const std::string& workingFolder = "");
std::string FetchProgram();

}  // namespace orvane::testing
