#include "tools/testkit/wine.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace orvane::testkit {

namespace fs = std::filesystem;

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

WineSetup WineSetup::fromEnvironment() {
    return {variable("ORVANE_WINE"), variable("WINEPREFIX"), variable("ORVANE_WIN_BIN")};
}

WineComPort::WineComPort(const std::string& prefix, int portNumber, const std::string& device)
    : link_(prefix + "/dosdevices/com" + std::to_string(portNumber)) {
    std::error_code ec;
    fs::remove(link_, ec);
    fs::create_symlink(device, link_);
}

WineComPort::~WineComPort() {
    std::error_code ec;
    fs::remove(link_, ec);
}

std::string WindowsPath(const std::string& path) {
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

std::string LinuxLineEnds(const std::string& text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines += text[i];
    }
    return lines;
}

}  // namespace orvane::testkit
