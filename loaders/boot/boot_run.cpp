#include "loaders/boot/boot_run.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "loaders/boot/board_loader.h"

namespace orvane {

namespace {

constexpr const char* kUsageLines[] = {
    "Usage: boot [ -p Port_Number -b Baud_Rate ] Hex_File\n",
    "Optional Parameters:\n",
    "    -p Port Number 1 through 8 Default=1\n",
    "    -b Baud Rate 9600, 19200, 38400, 57600 Default=38400\n",
};

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

bool asksForHelp(int argc, const char* const argv[]) {
    for (int index = 1; index < argc; ++index)
        if (std::strcmp(argv[index], "-h") == 0 || std::strcmp(argv[index], "--help") == 0)
            return true;
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
    if (count <= 0 || asksForHelp(argc, argv))
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
    return static_cast<int>(std::strlen(kUsageLines[3]));
}

int runBoot(int argc, const char* const argv[], PortDirectory& ports, Clock& clock,
            Console& console) {
    BootSettings settings;
    if (!parseArguments(argc, argv, settings))
        return printUsage(console);
    console.print("File Name=%s Comm Port=%d Baud=%d\n", settings.hexFileName.c_str(),
                  settings.portNumber, settings.baudRate);
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
