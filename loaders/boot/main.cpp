// boot: loads an Intel HEX file into a board through its framed serial
// bootloader.
#include "loaders/boot/boot_run.h"
#include "platform/termios_port.h"

int main(int argc, char* argv[]) {
    orvane::RealClock clock;
    orvane::StdConsole console;
    orvane::TermiosPortDirectory ports(orvane::DeviceMap(orvane::DeviceMap::fromEnvironment()));
    return orvane::runBoot(argc, argv, ports, clock, console);
}
