// Kestrel: loads an Intel HEX file into a dsPIC30F4013/3014 board through
// its resident serial bootloader, or with -t tells which chip it carries.
#include <string>
#include <vector>

#include "loaders/kestrel/kestrel_cli.h"
#include "platform/system_ports.h"

int main(int argc, char** argv) {
    std::unique_ptr<orvane::PortDirectory> ports = orvane::MakeSystemPortDirectory();
    orvane::RealClock clock;
    orvane::StdConsole console;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    // A completed identification ends with -1, which the shell sees as 255.
    return orvane::RunKestrel(arguments, *ports, clock, console);
}
