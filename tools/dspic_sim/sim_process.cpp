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
constexpr double kSimStartSeconds = 10;
constexpr double kSimStopSeconds = 10;
constexpr auto kPollStep = std::chrono::milliseconds(5);

}  // namespace

SimProcess::SimProcess(const std::string& binDir, std::vector<std::string> options, int port)
    : folder_("orvane-dspic-sim"), entry_(folder_.file("com" + std::to_string(port))) {
    std::vector<std::string> arguments{"--dosdevices", folder_.path(),
                                       "--port",       std::to_string(port),
                                       "--flash-out",  folder_.file("flash.bin"),
                                       "--stats-out",  folder_.file("stats.txt")};
    arguments.insert(arguments.end(), options.begin(), options.end());
    testkit::ProgramRun run;
    run.path = binDir + "/dspic-sim";
    run.arguments = arguments;
    pid_ = testkit::startChild(run, STDOUT_FILENO, STDERR_FILENO);
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
        exitStatus_ = testkit::waitForChild(pid_, kSimStopSeconds);
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
