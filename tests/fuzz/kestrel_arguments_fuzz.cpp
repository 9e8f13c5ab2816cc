// Kestrel's command line: any list of arguments is either refused with the
// usage text (30) or run; the run that follows, with no board on any port,
// ends at the port with its own lines and status.
#include <algorithm>
#include <cstdint>

#include "loaders/common/hex_image.h"
#include "loaders/kestrel/hex_file_name.h"
#include "loaders/kestrel/kestrel_cli.h"
#include "platform/orvane_version.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/testkit/memory_console.h"
#include "tools/testkit/sim_port.h"
#include "tools/testkit/virtual_clock.h"

namespace {

using orvane::fuzz::require;

bool present(const std::vector<std::string>& arguments, const std::string& wanted) {
    return std::find(arguments.begin(), arguments.end(), wanted) != arguments.end();
}

// What the scan may take from the arguments, whatever their order.
void checkSettings(const std::vector<std::string>& arguments,
                   const orvane::KestrelSettings& settings) {
    require(settings.fileName.empty() || present(arguments, settings.fileName),
            "the file name is one of the arguments");
    require(settings.portNumber == 1 || present(arguments, "-p"), "only -p changes the port");
    require(!settings.identifyOnly || present(arguments, "-t"), "only -t identifies");
    // A later "-p N" sets the number, but USB mode stays and the adapter
    // search decides the port.
    require(!settings.usbMode || std::any_of(arguments.begin(), arguments.end(),
                                             [](const std::string& argument) {
                                                 return argument.find("USB") != std::string::npos;
                                             }),
            "only a -p value with USB turns USB mode on");
    require(settings.portDevice.empty() || (present(arguments, settings.portDevice) &&
                                            settings.portNumber == 0 && !settings.usbMode),
            "a device path is a -p value, port 0, and no USB search");
}

bool hexFileThere(const std::string& typed) {
    auto path = orvane::LocateHexFile(typed, orvane::NormaliseHexFileName(typed));
    return path && !orvane::HexFileOpenFailure(*path);
}

// The output of a run that fails at the port.
std::string expectedRun(const orvane::KestrelSettings& settings) {
    std::string head = settings.identifyOnly
                           ? orvane::formatText("Comm Port=%d\n", settings.portNumber)
                           : "File Name=" + orvane::NormaliseHexFileName(settings.fileName) +
                                 orvane::formatText(" Comm Port=%d\n", settings.portNumber);
    return head + "Open Comm Port Error\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> arguments = orvane::fuzz::argumentsOf(data, size);
    const auto settings = orvane::ScanArguments(arguments);
    if (settings)
        checkSettings(arguments, *settings);

    orvane::testkit::VirtualClock clock;
    orvane::testkit::SimPortDirectory ports(clock);
    orvane::testkit::MemoryConsole console;
    const int status = orvane::RunKestrel(arguments, ports, clock, console);
    if (!settings) {
        require(status == orvane::kUsageExit, "refused arguments end with 30");
        require(console.text().starts_with("Usage: Kestrel "), "refused arguments show usage");
    } else if (settings->showVersion) {
        require(status == 0 &&
                    console.text() == std::string("kestrel ") + orvane::kOrvaneVersion + "\n",
                "--version prints the version");
        require(ports.openAttempts() == 0, "--version opens nothing");
    } else if (!settings->identifyOnly && !hexFileThere(settings->fileName)) {
        require(status == 0, "a missing file ends with 0");
        const std::string shown = orvane::NormaliseHexFileName(settings->fileName);
        require(console.text() == "File Name=" + shown +
                                      orvane::formatText(" Comm Port=%d\n", settings->portNumber) +
                                      "Error reading " + shown + " file\n",
                "a missing file is reported");
        require(ports.openAttempts() == 0 && !console.errors().empty(),
                "a missing file is named and no port is opened");
    } else if (settings->usbMode && settings->portNumber == 0) {
        require(status == orvane::kNoUsbExit, "no adapter ends with 20");
        require(console.text() == "USB Port Not Found!\n", "no adapter is reported");
    } else {
        // Without an adapter the search keeps a number given by a later -p.
        std::string usbLine =
            settings->usbMode ? orvane::formatText("USB Port = %d\n", settings->portNumber) : "";
        require(status == 0, "a port that cannot be opened ends with 0");
        require(console.text() == usbLine + expectedRun(*settings), "the run's lines");
        require(ports.opens() == 0 && !console.errors().empty(), "the open failure is named");
    }
    return 0;
}
