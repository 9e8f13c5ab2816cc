#pragma once

#include <optional>
#include <string>
#include <vector>

#include "loaders/kestrel/dspic_loader.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/serial_port.h"

namespace orvane {

// What the command line asks of one Kestrel run.
struct KestrelSettings {
    int portNumber = 1;
    bool usbMode = false;
    bool identifyOnly = false;
    std::string fileName;
    // A "-p" value beginning with "/" names the device itself (port number 0).
    std::string portDevice;
    // "--version": print the version, open nothing.
    bool showVersion = false;
};

// The exit statuses besides the run's own 0 (failed) and ClosePort's result.
inline constexpr int kUsageExit = 30;  // refused arguments, -h, --help
inline constexpr int kNoUsbExit = 20;  // length of "USB Port Not Found!\n"

// Scans the arguments after the program name; nullopt when they are refused
// (an argument beginning with "-" that is no option) or ask for the usage
// text ("-h", "--help").
std::optional<KestrelSettings> ScanArguments(const std::vector<std::string>& arguments);

// Prints the usage text; returns the length of its last line.
int PrintUsage(Console& console);

// One load, or with identifyOnly one identification, on an unopened loader.
// True when it completed; a completed load leaves the port open.
bool RunLoad(DspicLoader& loader, const KestrelSettings& settings);

// The whole program: arguments in, exit status out.
int RunKestrel(const std::vector<std::string>& arguments, PortDirectory& ports, Clock& clock,
               Console& console);

}  // namespace orvane
