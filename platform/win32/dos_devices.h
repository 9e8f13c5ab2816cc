#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Every MS-DOS device name Windows knows (QueryDosDeviceA without a name):
// drive letters, "COM3", "LPT1", "NUL" and the like. Nullopt when the list
// cannot be read.
std::optional<std::vector<std::string>> ListDosDeviceNames();

// The device path a DOS device name stands for, such as "\Device\VCP0" for
// "COM5"; nullopt when the name is not defined.
std::optional<std::string> DosDeviceTarget(const std::string& name);

// Whether a device path belongs to the driver of a USB-serial adapter:
// FTDI's virtual COM port ("\Device\VCP0"), the CDC-ACM class driver
// usbser.sys ("\Device\USBSER000"), Silicon Labs CP210x ("\Device\Silabser0"),
// WCH CH340/CH341 ("\Device\CH341SER_A64") or Prolific PL2303
// ("\Device\ProlificSerial0"). A built-in port is "\Device\Serial0".
bool NamesUsbSerialDriver(std::string_view devicePath);

}  // namespace orvane
