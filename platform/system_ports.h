#pragma once

#include <memory>

#include "platform/serial_port.h"

namespace orvane {

// The COM ports of the machine the program runs on, through the serial
// carrier the build chose for this platform.
std::unique_ptr<PortDirectory> MakeSystemPortDirectory();

}  // namespace orvane
