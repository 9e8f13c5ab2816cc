// boot's command line: any list of arguments is either refused with the
// usage text (57) or run; the run that follows, with no board on any port,
// ends at the port with its own lines and status.
#include <algorithm>
#include <cstdint>

#include "loaders/boot/boot_run.h"
#include "loaders/common/hex_image.h"
#include "platform/orvane_version.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/testkit/memory_console.h"
#include "tools/testkit/sim_port.h"
#include "tools/testkit/virtual_clock.h"

namespace {

using orvane::fuzz::require;

constexpr int kUsageExit = 57;

bool present(const std::vector<std::string>& arguments, const std::string& wanted) {
    return std::find(arguments.begin(), arguments.end(), wanted) != arguments.end();
}

void checkSettings(const std::vector<std::string>& arguments,
                   const orvane::BootSettings& settings) {
    require(settings.hexFileName.empty() || present(arguments, settings.hexFileName),
            "the file name is one of the arguments");
    require(settings.portNumber == 1 || present(arguments, "-p"), "only -p changes the port");
    require(settings.baudRate == 38400 || present(arguments, "-b"), "only -b changes the rate");
    require(settings.portDevice.empty() ||
                (present(arguments, settings.portDevice) && settings.portNumber == 0),
            "a device path is a -p value and port 0");
    require(!present(arguments, "-h") && !present(arguments, "--help"),
            "a request for help is never run");
}

std::string expectedRun(const orvane::BootSettings& settings) {
    const char* name = settings.hexFileName.c_str();
    return orvane::formatText("File Name=%s Comm Port=%d Baud=%d\n", name, settings.portNumber,
                              settings.baudRate) +
           orvane::formatText("Downloading file %s...\nOpen Comm Port Error\n", name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments = orvane::fuzz::argumentsOf(data, size);
    arguments.insert(arguments.begin(), "boot");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);

    orvane::BootSettings settings;
    const bool accepted = orvane::parseArguments(argc, argv.data(), settings);
    if (accepted)
        checkSettings(arguments, settings);

    orvane::testkit::VirtualClock clock;
    orvane::testkit::SimPortDirectory ports(clock);
    orvane::testkit::MemoryConsole console;
    const int status = orvane::runBoot(argc, argv.data(), ports, clock, console);
    require(ports.openAttempts() == 0 || !orvane::HexFileOpenFailure(settings.hexFileName),
            "no port is opened for a file that is not there");
    const bool version = present(arguments, "--version");
    if (accepted && version) {
        require(
            status == 0 && console.text() == std::string("boot ") + orvane::kOrvaneVersion + "\n",
            "--version prints the version");
    } else if (!accepted) {
        require(status == kUsageExit, "refused arguments end with 57");
        require(console.text().starts_with("Usage: boot "), "refused arguments show usage");
    } else if (orvane::HexFileOpenFailure(settings.hexFileName)) {
        require(status == 0, "a missing file ends with 0");
        require(console.text() == orvane::formatText("File Name=%s Comm Port=%d Baud=%d\n",
                                                     settings.hexFileName.c_str(),
                                                     settings.portNumber, settings.baudRate) +
                                      "Error reading HEX file\n",
                "a missing file is reported");
        require(!console.errors().empty(), "a missing file is named");
    } else {
        require(status == 0, "a port that cannot be opened ends with 0");
        require(console.text() == expectedRun(settings), "the run's lines");
        require(!console.errors().empty(), "the open failure is named");
    }
    return 0;
}
