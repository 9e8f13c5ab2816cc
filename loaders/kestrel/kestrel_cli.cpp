#include "loaders/kestrel/kestrel_cli.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <iterator>
#include <string_view>

#include "loaders/kestrel/hex_file_name.h"
#include "platform/orvane_version.h"

namespace orvane {

namespace {

constexpr const char* kUsageLines[] = {
    "Usage: Kestrel [ -p Port_Number | -p USB | -p /dev/DEVICE ] [ -t ] Hex_File\n",
    "Loads an Intel HEX file into a dsPIC30F4013/3014 board through its serial\n",
    "bootloader, reads it back and verifies it. Exit status 1: load completed.\n",
    "Optional Parameters:\n",
    "    -p Port_Number  any COM number (dosdevices comN, else COM1 = /dev/ttyS0,\n",
    "                    COM33 = /dev/ttyUSB0, COM65 = /dev/ttyACM0) Default=1\n",
    "    -p USB          the highest-numbered USB-serial adapter\n",
    "    -p /dev/DEVICE  the serial device named by its path\n",
    "    -t              Display Dspic CPU Type (nothing is loaded)\n",
    "    -b Baud_Rate    accepted and ignored: the link runs at 57600 baud\n",
    "    -h, --help      this text; --version prints the version\n",
};
constexpr const char* kNoUsbLine = "USB Port Not Found!\n";
// The exit status is this line's length, as the printing returned it.
static_assert(std::string_view(kNoUsbLine).size() == kNoUsbExit);

// The value's leading decimal integer, as atoi reads it, held inside int.
int leadingInteger(const std::string& value) {
    std::size_t i = 0;
    while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i])))
        ++i;
    bool negative = i < value.size() && value[i] == '-';
    if (i < value.size() && (value[i] == '-' || value[i] == '+'))
        ++i;
    long long number = 0;
    for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i)
        number = std::min<long long>(number * 10 + (value[i] - '0'), LLONG_MAX / 100);
    number = negative ? -number : number;
    return static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
}

// A device path names the port directly, even one such as
// /dev/ttyUSB0 that contains "USB"; the last "-p" decides between a path
// and a COM number.
void applyPortValue(KestrelSettings& settings, const std::string& value) {
    settings.portDevice.clear();
    if (value.starts_with('/')) {
        settings.portDevice = value;
        settings.usbMode = false;
        settings.portNumber = 0;
    } else if (value.find("USB") != std::string::npos) {
        settings.usbMode = true;
        settings.portNumber = 0;
    } else {
        settings.portNumber = leadingInteger(value);
    }
}

bool asksFor(const std::vector<std::string>& arguments, std::string_view a, std::string_view b) {
    return std::any_of(arguments.begin(), arguments.end(),
                       [&](const std::string& argument) { return argument == a || argument == b; });
}

// An argument beginning with "-" that is no option of Kestrel (the value
// after "-p" or "-b" is not looked at): a mistyped option is refused
// rather than taken as a file name, before any port is opened.
bool holdsUnknownOption(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-p" || argument == "-b")
            ++i;
        else if (argument.starts_with('-') && argument != "-t" && argument != "--version")
            return true;
    }
    return false;
}

// The walk over two or more arguments. The file name counts as two
// arguments, so it is expected last; a "-p" needs a value and something after it.
bool walkArguments(const std::vector<std::string>& arguments, KestrelSettings& settings) {
    std::size_t next = 0;
    for (long left = static_cast<long>(arguments.size()); left >= 1;) {
        const std::string& argument = arguments[next++];
        --left;
        if (argument == "-p") {
            if (next >= arguments.size())
                return false;
            const std::string& value = arguments[next++];
            if (--left == 0)
                return false;
            applyPortValue(settings, value);
        } else if (argument == "-t") {
            settings.identifyOnly = true;
        } else if (argument.find('.') != std::string::npos) {
            settings.fileName = argument;
            --left;
        }
    }
    return true;
}

// A refused reply may leave bytes on the line (the acknowledge after a
// wrong checksum): they are taken off before the second try, or that try
// would read them as the start of its own reply.
template <class Step>
bool withSecondTry(DspicLoader& loader, Step step) {
    if (step())
        return true;
    loader.DiscardInput();
    return step();
}

bool catchBootloader(DspicLoader& loader) {
    loader.ResetWithNotice();
    if (!loader.FindBootloader(true)) {
        loader.console().print("Bootloader not found\n");
        return false;
    }
    if (!withSecondTry(loader, [&] { return loader.GetLoaderID(); })) {
        loader.console().print("Bad Bootloader ID\n");
        return false;
    }
    if (!withSecondTry(loader, [&] { return loader.ReadDeviceID(); })) {
        loader.console().print("Can't get device ID\n");
        return false;
    }
    loader.console().print("Device ID = %d\n", loader.deviceId());
    return loader.SelectDevice();
}

bool readHexFile(DspicLoader& loader, const std::string& typed, const std::string& normalised) {
    std::optional<std::string> path = LocateHexFile(typed, normalised);
    bool loaded = false;
    if (path && HoldsBinaryData(*path)) {
        loader.console().printErr("%s holds binary data, not Intel HEX text\n", path->c_str());
    } else if (path) {
        loaded = loader.image().loadHexFile(*path);
    }
    if (!loaded) {
        loader.console().print("Error reading %s file\n", normalised.c_str());
        loader.ClosePort();
    }
    return loaded;
}

bool writeAndVerify(DspicLoader& loader) {
    Console& console = loader.console();
    std::int32_t units = loader.image().endAddress / 2;
    console.print("End Address: 0x%x Size: %d Bytes\n", units, units);
    console.print("Downloading to device %s...\n", loader.cpuName().c_str());
    bool transferred = loader.WriteProgram();
    if (transferred) {
        console.print("Verifying...\n");
        transferred = loader.ReadProgram();
    }
    if (!transferred) {
        console.print("Flash Dump Error\n");
        loader.ClosePort();
        return false;
    }
    loader.VerifyProgram();
    loader.PulseReset();
    return true;
}

// A file that is not there ends the run before the port is opened (no
// reset pulse); a file that is there is read after identification.
bool hexFileReachable(const KestrelSettings& settings, Console& console) {
    std::string normalised = NormaliseHexFileName(settings.fileName);
    std::optional<std::string> path = LocateHexFile(settings.fileName, normalised);
    std::optional<std::string> failure =
        path ? HexFileOpenFailure(*path) : std::string("No such file or directory");
    if (!failure)
        return true;
    console.print("File Name=%s Comm Port=%d\n", normalised.c_str(), settings.portNumber);
    console.printErr("cannot open %s: %s\n", path ? path->c_str() : settings.fileName.c_str(),
                     failure->c_str());
    console.print("Error reading %s file\n", normalised.c_str());
    return false;
}

}  // namespace

std::optional<KestrelSettings> ScanArguments(const std::vector<std::string>& arguments) {
    KestrelSettings settings;
    if (arguments.empty() || asksFor(arguments, "-h", "--help") || holdsUnknownOption(arguments))
        return std::nullopt;
    if (arguments.size() == 1) {
        if (arguments[0] == "-t")
            settings.identifyOnly = true;
        else if (arguments[0] == "--version")
            settings.showVersion = true;
        else
            settings.fileName = arguments[0];
        return settings;
    }
    if (!walkArguments(arguments, settings))
        return std::nullopt;
    settings.showVersion = asksFor(arguments, "--version", "--version");
    return settings;
}

int PrintUsage(Console& console) {
    for (const char* line : kUsageLines)
        console.out(line);
    return kUsageExit;
}

bool RunLoad(DspicLoader& loader, const KestrelSettings& settings) {
    Console& console = loader.console();
    std::string normalised = NormaliseHexFileName(settings.fileName);
    if (settings.identifyOnly)
        console.print("Comm Port=%d\n", settings.portNumber);
    else
        console.print("File Name=%s Comm Port=%d\n", normalised.c_str(), settings.portNumber);
    loader.NamePortDevice(settings.portNumber);
    if (!loader.OpenPort(settings.portNumber, DspicLoader::kLinkBaud)) {
        console.print("Open Comm Port Error\n");
        return false;
    }
    if (!catchBootloader(loader))
        return false;
    if (settings.identifyOnly) {
        console.print("CPU Type = %s\n", loader.cpuName().c_str());
        loader.PulseReset();
        loader.ClosePort();
        return true;
    }
    return readHexFile(loader, settings.fileName, normalised) && writeAndVerify(loader);
}

int RunKestrel(const std::vector<std::string>& arguments, PortDirectory& ports, Clock& clock,
               Console& console) {
    std::optional<KestrelSettings> settings = ScanArguments(arguments);
    if (!settings)
        return PrintUsage(console);
    if (settings->showVersion) {
        console.print("kestrel %s\n", kOrvaneVersion);
        return 0;
    }
    if (!settings->identifyOnly && !hexFileReachable(*settings, console))
        return 0;
    DspicLoader loader(ports, clock, console);
    loader.portNumber = settings->portNumber;
    if (!settings->portDevice.empty()) {
        if (!ports.assignDevicePath(settings->portNumber, settings->portDevice))
            console.err("this system cannot open a port by its device path\n");
    } else if (settings->usbMode) {
        loader.FindUsbSerialPort();
        if (loader.portNumber == 0) {
            console.out(kNoUsbLine);
            return static_cast<int>(std::strlen(kNoUsbLine));
        }
        console.print("USB Port = %d\n", loader.portNumber);
        settings->portNumber = loader.portNumber;
    }
    if (!RunLoad(loader, *settings))
        return 0;
    if (!settings->identifyOnly)
        console.print("Good File Download!!!\n");
    loader.ResetWithNotice();
    return loader.ClosePort();
}

}  // namespace orvane
