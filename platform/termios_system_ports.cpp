#include "platform/device_map.h"
#include "platform/system_ports.h"
#include "platform/termios_port.h"

namespace orvane {

std::unique_ptr<PortDirectory> MakeSystemPortDirectory() {
    return std::make_unique<TermiosPortDirectory>(DeviceMap(DeviceMap::fromEnvironment()));
}

}  // namespace orvane
