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

}  // namespace

bool parseArguments(int argc, const char* const argv[], BootSettings& settings) {
    int count = argc - 1;
    if (count <= 0)
        return false;
    if (count == 1) {
        settings.hexFileName = argv[1];
        return true;
    }
    // An option with nothing after it has no value to take.
    if (isOption(argv[argc - 1]))
        return false;
    // Each argument lowers the count by one, an option's value by one more
    // and a file name by two: the walk stops one argument early after a
    // file name, which is how options may follow it.
    for (int index = 1; count >= 1 && index < argc; ++index) {
        const char* argument = argv[index];
        --count;
        if (isOption(argument)) {
            if (++index >= argc || --count == 0)
                return false;
            int& setting = argument[1] == 'p' ? settings.portNumber : settings.baudRate;
            setting = decimalValue(argv[index]);
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
    BoardLoader loader(ports, clock, console);
    loader.portNumber = settings.portNumber;
    loader.applicationBaud = settings.baudRate;
    if (!loader.downloadFile(settings.portNumber, settings.hexFileName))
        return 0;
    console.print("Good File Download!!!\n");
    loader.sendReset();
    return loader.ClosePort();
}

}  // namespace orvane
