#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Maps COM numbers to serial devices the way Wine does: an entry "comN" (a
// symbolic link to the device) in the dosdevices folder, else a default
// mapping of the machine's own serial devices:
//   COM1..COM32  -> /dev/ttyS0..31
//   COM33..COM64 -> /dev/ttyUSB0..31
//   COM65..COM96 -> /dev/ttyACM0..31
class DeviceMap {
  public:
    struct Roots {
        std::string dosdevices;   // folder of comN links
        std::string devDir;       // where the default devices live
        std::string sysClassTty;  // sysfs class folder of tty devices
    };
    // $ORVANE_DOSDEVICES, else ${XDG_CONFIG_HOME:-~/.config}/orvane/dosdevices.
    static Roots fromEnvironment();

    explicit DeviceMap(Roots roots) : roots_(std::move(roots)) {}

    // The device path for a COM number; empty when nothing is mapped.
    std::string devicePath(int portNumber) const;
    // From now on the COM number stands for this device, whatever the
    // folder and the default mapping say.
    void assign(int portNumber, std::string device) { assigned_[portNumber] = std::move(device); }
    // Every COM name known, entries first, then default devices that exist.
    std::optional<std::vector<std::string>> portNames() const;
    // Whether the device behind the COM name is driven by a USB-serial or
    // CDC-ACM driver, as its sysfs entry says.
    bool isUsbSerialAdapter(const std::string& portName) const;

    const Roots& roots() const { return roots_; }

  private:
    std::string entryPath(int portNumber) const;
    std::string defaultDevice(int portNumber) const;
    Roots roots_;
    std::map<int, std::string> assigned_;
};

// Parses "COMn"/"comn" into n; nullopt for anything else.
std::optional<int> parseComName(const std::string& name);

}  // namespace orvane
