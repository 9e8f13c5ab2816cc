#include "tests/platform/real_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "tools/testkit/child_process.h"

namespace orvane::testing {

using testkit::runProgram;

namespace {
constexpr int kServerSeconds = 600;
constexpr int kScriptMs = 20000;

std::string serverScript(const char* name) {
    return std::string(ORVANE_SOURCE_DIR) + "/tools/transfer_servers/" + name;
}
}  // namespace

int freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

RealServer::RealServer(const std::string& kind, const std::string& root, const std::string& work,
                       const std::vector<std::string>& more)
    : kind_(kind), work_(work) {
    if (work_.empty()) {
        ownWork_ = std::make_unique<testkit::TempFolder>();
        work_ = ownWork_->path();
    }
    int port = freeLoopbackPort();
    std::vector<std::string> arguments{kind, root, work_, std::to_string(port),
                                       std::to_string(kServerSeconds)};
    arguments.insert(arguments.end(), more.begin(), more.end());
    auto result = runProgram(serverScript("start-server"), arguments, {}, kScriptMs);
    if (result.exitStatus == 0)
        port_ = port;
    else
        failure_ = result.standardError;
}

RealServer::~RealServer() {
    if (running())
        runProgram(serverScript("stop-server"), {work_ + "/" + kind_ + ".pid"}, {}, kScriptMs);
}

}  // namespace orvane::testing
