// Kestrel: loads an Intel HEX file into a dsPIC30F4013/3014 board through
// its resident serial bootloader, or with -t tells which chip it carries.
#include <string>
#include <vector>

#include "loaders/kestrel/kestrel_cli.h"
#include "platform/device_map.h"
#include "platform/termios_port.h"

int main(int argc, char** argv) {
    orvane::TermiosPortDirectory ports(orvane::DeviceMap(orvane::DeviceMap::fromEnvironment()));
    orvane::RealClock clock;
    orvane::StdConsole console;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    // A completed identification ends with -1, which the shell sees as 255.
    return orvane::RunKestrel(arguments, ports, clock, console);
}
