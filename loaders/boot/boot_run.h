#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/serial_port.h"

namespace orvane {

// What boot's command line chooses.
struct BootSettings {
    int portNumber = 1;       // the N of "COM%d", for every opening
    int baudRate = 38400;     // the board application's rate, for the boot command only
    std::string hexFileName;  // empty when no argument names a file
    // A "-p" value beginning with "/" names the device itself (port number 0).
    std::string portDevice;
};

// Fills the settings from the arguments (program name first); false when
// the usage text is to be shown instead ("-h" and "--help" ask for it).
bool parseArguments(int argc, const char* const argv[], BootSettings& settings);

// Prints the usage text; returns the length of its last line, boot's exit
// status for a refused command line.
int printUsage(Console& console);

// The whole program: parse, echo the settings, load, reset the board.
// Returns the exit status: 57 usage, 0 failed load, 1 good load.
int runBoot(int argc, const char* const argv[], PortDirectory& ports, Clock& clock,
            Console& console);

}  // namespace orvane
