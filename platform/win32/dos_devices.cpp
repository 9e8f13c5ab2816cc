#include "platform/win32/dos_devices.h"

#include <windows.h>

#include <algorithm>

#include "platform/ascii_text.h"

namespace orvane {

namespace {

// The list of every DOS name is usually a few kilobytes; a machine with very
// many devices gets a larger buffer rather than no answer.
constexpr std::size_t kFirstBufferSize = 65536;
constexpr std::size_t kLargestBufferSize = std::size_t{1} << 24;

// FTDI's driver names its ports "\Device\VCPn": the mark of a USB-serial
// adapter, matched in capitals as that driver writes it.
constexpr std::string_view kVirtualComPort = "VCP";
// The other drivers' device names, matched without regard to case because
// they are seen in either ("\Device\USBSER000", "\Device\usbser001").
constexpr std::string_view kUsbSerialDrivers[] = {"usbser", "silabser", "ch341ser",
                                                  "prolificserial"};

// QueryDosDeviceA into a buffer that grows until the answer fits.
std::optional<std::vector<char>> queryDosDevice(const char* name) {
    for (std::size_t size = kFirstBufferSize; size <= kLargestBufferSize; size *= 2) {
        std::vector<char> buffer(size);
        DWORD length = QueryDosDeviceA(name, buffer.data(), static_cast<DWORD>(size - 1));
        if (length > 0) {
            buffer.resize(length);
            return buffer;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::nullopt;
    }
    return std::nullopt;
}

// The zero-ended strings of a QueryDosDevice answer, up to the empty one.
std::vector<std::string> zeroEndedStrings(const std::vector<char>& buffer) {
    std::vector<std::string> strings;
    auto at = buffer.begin();
    while (at != buffer.end() && *at != '\0') {
        auto end = std::find(at, buffer.end(), '\0');
        strings.emplace_back(at, end);
        at = end == buffer.end() ? end : end + 1;
    }
    return strings;
}

}  // namespace

std::optional<std::vector<std::string>> ListDosDeviceNames() {
    std::optional<std::vector<char>> answer = queryDosDevice(nullptr);
    if (!answer)
        return std::nullopt;
    return zeroEndedStrings(*answer);
}

std::optional<std::string> DosDeviceTarget(const std::string& name) {
    std::optional<std::vector<char>> answer = queryDosDevice(name.c_str());
    if (!answer)
        return std::nullopt;
    std::vector<std::string> targets = zeroEndedStrings(*answer);
    if (targets.empty())
        return std::nullopt;
    return targets.front();
}

bool NamesUsbSerialDriver(std::string_view devicePath) {
    if (devicePath.find(kVirtualComPort) != std::string_view::npos)
        return true;
    std::string lower = asciiLowered(devicePath);
    return std::any_of(
        std::begin(kUsbSerialDrivers), std::end(kUsbSerialDrivers),
        [&](std::string_view driver) { return lower.find(driver) != std::string::npos; });
}

}  // namespace orvane
