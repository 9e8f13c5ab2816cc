#include "platform/device_map.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/ascii_text.h"

namespace orvane {
namespace fs = std::filesystem;

namespace {

struct DefaultRange {
    int firstPort;
    const char* prefix;
};
constexpr DefaultRange kDefaultRanges[] = {{1, "ttyS"}, {33, "ttyUSB"}, {65, "ttyACM"}};
constexpr int kPortsPerRange = 32;

std::string configHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config";
}

bool isUsbSerialDriver(const fs::path& driverLink) {
    std::error_code ec;
    fs::path driver = fs::canonical(driverLink, ec);
    if (ec)
        return false;
    std::string text = driver.string();
    return text.find("/usb-serial/") != std::string::npos || driver.filename() == "cdc_acm";
}

}  // namespace

std::optional<int> parseComName(const std::string& name) {
    if (name.size() < 4)
        return std::nullopt;
    if (!startsWithIgnoringCase(name, "COM"))
        return std::nullopt;
    int value = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!isAsciiDigit(name[i]) || value > 100000)
            return std::nullopt;
        value = value * 10 + (name[i] - '0');
    }
    return value;
}

DeviceMap::Roots DeviceMap::fromEnvironment() {
    Roots roots{"", "/dev", "/sys/class/tty"};
    const char* dir = std::getenv("ORVANE_DOSDEVICES");
    roots.dosdevices = (dir && *dir) ? dir : configHome() + "/orvane/dosdevices";
    return roots;
}

std::string DeviceMap::entryPath(int portNumber) const {
    fs::path entry = fs::path(roots_.dosdevices) / ("com" + std::to_string(portNumber));
    std::error_code ec;
    if (fs::is_symlink(entry, ec) || fs::exists(entry, ec))
        return entry.string();
    return {};
}

std::string DeviceMap::defaultDevice(int portNumber) const {
    for (const auto& range : kDefaultRanges) {
        int index = portNumber - range.firstPort;
        if (index >= 0 && index < kPortsPerRange)
            return roots_.devDir + "/" + range.prefix + std::to_string(index);
    }
    return {};
}

std::string DeviceMap::devicePath(int portNumber) const {
    if (auto named = assigned_.find(portNumber); named != assigned_.end())
        return named->second;
    std::string entry = entryPath(portNumber);
    return entry.empty() ? defaultDevice(portNumber) : entry;
}

std::optional<std::vector<std::string>> DeviceMap::portNames() const {
    std::vector<std::string> names;
    std::set<int> seen;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(roots_.dosdevices, ec)) {
        std::string name = entry.path().filename().string();
        if (auto number = parseComName(name); number && seen.insert(*number).second) {
            std::string upper = "COM" + name.substr(3);
            names.push_back(upper);
        }
    }
    for (const auto& range : kDefaultRanges) {
        for (int i = 0; i < kPortsPerRange; ++i) {
            int number = range.firstPort + i;
            if (seen.count(number))
                continue;
            if (fs::exists(defaultDevice(number), ec))
                names.push_back("COM" + std::to_string(number));
        }
    }
    return names;
}

bool DeviceMap::isUsbSerialAdapter(const std::string& portName) const {
    auto number = parseComName(portName);
    if (!number)
        return false;
    std::string device = devicePath(*number);
    if (device.empty())
        return false;
    std::error_code ec;
    fs::path target = fs::canonical(device, ec);
    if (ec)
        return false;
    fs::path sysEntry = fs::path(roots_.sysClassTty) / target.filename() / "device" / "driver";
    return isUsbSerialDriver(sysEntry);
}

}  // namespace orvane
