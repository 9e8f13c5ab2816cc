// boot: loads an Intel HEX file into a board through its framed serial
// bootloader.
#include "loaders/boot/boot_run.h"
#include "platform/system_ports.h"

int main(int argc, char* argv[]) {
    orvane::RealClock clock;
    orvane::StdConsole console;
    std::unique_ptr<orvane::PortDirectory> ports = orvane::MakeSystemPortDirectory();
    return orvane::runBoot(argc, argv, *ports, clock, console);
}
