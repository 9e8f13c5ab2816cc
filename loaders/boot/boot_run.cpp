#include "loaders/boot/boot_run.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "loaders/boot/board_loader.h"
#include "platform/orvane_version.h"

namespace orvane {

namespace {

constexpr const char* kUsageLines[] = {
    "Usage: boot [ -p Port_Number | -p /dev/DEVICE ] [ -b Baud_Rate ] Hex_File\n",
    "Loads an Intel HEX file into a board through its framed serial bootloader\n",
    "(19200 baud), reads it back and verifies it. Exit status 1: load done.\n",
    "Optional Parameters:\n",
    "    -p Port_Number  any COM number (dosdevices comN, else COM1 = /dev/ttyS0,\n",
    "                    COM33 = /dev/ttyUSB0, COM65 = /dev/ttyACM0) Default=1\n",
    "    -p /dev/DEVICE  the serial device named by its path\n",
    "    -b Baud_Rate    the running application's rate, for the boot command\n",
    "                    only (any rate the adapter accepts) Default=38400\n",
    "    -h, --help      this text; --version prints the version\n",
};
constexpr int kUsageExit = 57;

// Leading blanks and a sign, then digits up to the first other character;
// no digits give 0. Values beyond int are held at its limits.
int decimalValue(const char* text) {
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

bool isOption(const char* text) {
    return std::strcmp(text, "-p") == 0 || std::strcmp(text, "-b") == 0;
}

bool asksFor(int argc, const char* const argv[], const char* a, const char* b) {
    for (int index = 1; index < argc; ++index)
        if (std::strcmp(argv[index], a) == 0 || std::strcmp(argv[index], b) == 0)
            return true;
    return false;
}

// An argument beginning with "-" that is no option of boot (an option's
// value is not looked at): refused before any port is opened, rather than
// taken as a file name or skipped.
bool holdsUnknownOption(int argc, const char* const argv[]) {
    for (int index = 1; index < argc; ++index) {
        if (isOption(argv[index]))
            ++index;
        else if (argv[index][0] == '-' && std::strcmp(argv[index], "--version") != 0)
            return true;
    }
    return false;
}

// A file that is not there ends the run before the port is opened: the
// board gets no reset pulse and no byte.
bool hexFileOpens(const std::string& path, Console& console) {
    std::optional<std::string> failure = HexFileOpenFailure(path);
    if (!failure)
        return true;
    console.printErr("cannot open %s: %s\n", path.c_str(), failure->c_str());
    console.print("Error reading HEX file\n");
    return false;
}

// A device path ("/dev/ttyUSB0", "/dev/serial/by-id/...") names the port
// directly; anything else is a COM number.
void applyPortValue(const char* value, BootSettings& settings) {
    if (value[0] == '/') {
        settings.portDevice = value;
        settings.portNumber = 0;
    } else {
        settings.portDevice.clear();
        settings.portNumber = decimalValue(value);
    }
}

}  // namespace

bool parseArguments(int argc, const char* const argv[], BootSettings& settings) {
    int count = argc - 1;
    if (count <= 0 || asksFor(argc, argv, "-h", "--help") || holdsUnknownOption(argc, argv))
        return false;
    if (count == 1) {
        settings.hexFileName = argv[1];
        return true;
    }
    // Each argument lowers the count by one, an option's value by one more
    // and a file name by two: the walk stops one argument early after a
    // file name, which is how options may follow it. An option the walk
    // reaches with nothing after it has no value to take.
    for (int index = 1; count >= 1 && index < argc; ++index) {
        const char* argument = argv[index];
        --count;
        if (isOption(argument)) {
            if (++index >= argc || --count == 0)
                return false;
            if (argument[1] == 'p')
                applyPortValue(argv[index], settings);
            else
                settings.baudRate = decimalValue(argv[index]);
        } else if (std::strchr(argument, '.') != nullptr) {
            settings.hexFileName = argument;
            --count;
        }
    }
    return true;
}

int printUsage(Console& console) {
    for (const char* line : kUsageLines)
        console.out(line);
    return kUsageExit;
}

int runBoot(int argc, const char* const argv[], PortDirectory& ports, Clock& clock,
            Console& console) {
    BootSettings settings;
    if (!parseArguments(argc, argv, settings))
        return printUsage(console);
    if (asksFor(argc, argv, "--version", "--version")) {
        console.print("boot %s\n", kOrvaneVersion);
        return 0;
    }
    console.print("File Name=%s Comm Port=%d Baud=%d\n", settings.hexFileName.c_str(),
                  settings.portNumber, settings.baudRate);
    if (!hexFileOpens(settings.hexFileName, console))
        return 0;
    if (!settings.portDevice.empty() &&
        !ports.assignDevicePath(settings.portNumber, settings.portDevice))
        console.err("this system cannot open a port by its device path\n");
    BoardLoader loader(ports, clock, console);
    loader.NamePortDevice(settings.portNumber);
    loader.portNumber = settings.portNumber;
    loader.applicationBaud = settings.baudRate;
    if (!loader.downloadFile(settings.portNumber, settings.hexFileName))
        return 0;
    console.print("Good File Download!!!\n");
    loader.sendReset();
    return loader.ClosePort();
}

}  // namespace orvane
