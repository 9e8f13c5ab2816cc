#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/testkit/temp_folder.h"

namespace orvane::testing {

// A free TCP port on 127.0.0.1 at the time of asking.
int freeLoopbackPort();

// A real server (nginx, vsftpd, pyftpdlib, nginx over TLS or Python's
// http.server) on a free loopback port,
// started by tools/transfer_servers/start-server for the life of the object
// and stopped by its PID; it also ends by itself after a few minutes.
class RealServer {
  public:
    // kind: "nginx", "vsftpd", "pyftpdlib", "python-http", "nginx-https" or
    // an FTP kind that refuses active mode, "vsftpd-passive", "pyftpdlib-passive";
    // root: the folder served; work: a folder for its configuration and logs
    // (a private one when empty); more: what the kind takes after the port
    // and time (nginx-https: the certificate and key files).
    RealServer(const std::string& kind, const std::string& root, const std::string& work = "",
               const std::vector<std::string>& more = {});
    ~RealServer();
    RealServer(const RealServer&) = delete;
    RealServer& operator=(const RealServer&) = delete;

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string& failure() const { return failure_; }

  private:
    std::unique_ptr<testkit::TempFolder> ownWork_;
    std::string kind_, work_;
    int port_ = 0;
    std::string failure_;
};

}  // namespace orvane::testing
