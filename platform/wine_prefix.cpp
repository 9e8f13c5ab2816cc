#include "platform/wine_prefix.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/ascii_text.h"
#include "platform/whole_file.h"
#include "platform/wine_registry.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr char kDriveC[] = "drive_c";

// The folder that holds the last "drive_c" folder of the path; empty when
// there is none.
std::string prefixInPath(const fs::path& path) {
    fs::path folder = path.parent_path();
    for (fs::path walk = folder; !walk.empty() && walk != walk.root_path();
         walk = walk.parent_path()) {
        if (walk.filename() == kDriveC)
            return walk.parent_path().string();
    }
    return {};
}

// Parts of a Windows path after its drive, without "." and with ".." taken
// back (never above the drive's root).
std::vector<std::string> windowsParts(std::string_view rest) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = rest.size();
        std::string part(rest.substr(start, end - start));
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

// The entry of the folder named like the part: the exact name when it is
// there, else the first (in listing order) that differs only in case.
std::string entryLike(const fs::path& folder, const std::string& part) {
    std::error_code ec;
    if (fs::exists(folder / part, ec))
        return part;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (equalIgnoringCase(name, part))
            return name;
    }
    return part;
}

// The drive letter and what follows the colon; nullopt for anything other
// than "X:...".
std::optional<std::pair<char, std::string_view>> splitDrive(std::string_view path) {
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = path.substr(1, path.size() - 2);
    constexpr std::string_view kLongPrefix = "\\\\?\\";
    if (path.substr(0, kLongPrefix.size()) == kLongPrefix)
        path.remove_prefix(kLongPrefix.size());
    if (path.size() < 2 || path[1] != ':' || !isAsciiAlpha(path[0]))
        return std::nullopt;
    std::string_view rest = path.substr(2);
    // "C:file" is relative to C:'s current folder, which no other program knows.
    if (!rest.empty() && rest.front() != '\\' && rest.front() != '/')
        return std::nullopt;
    return std::make_pair(asciiUpper(path[0]), rest);
}

// How many parts of `path` the folder `root` covers, when it is an ancestor
// of the path or the path itself.
std::optional<std::size_t> coveredParts(const fs::path& root, const fs::path& path) {
    auto r = root.begin();
    auto p = path.begin();
    std::size_t count = 0;
    for (; r != root.end(); ++r, ++p, ++count) {
        if (r->empty())
            continue;  // the final "" of a root written with a trailing "/"
        if (p == path.end() || *r != *p)
            return std::nullopt;
    }
    return count;
}

}  // namespace

std::string defaultWinePrefix() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix && *prefix)
        return prefix;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

std::string winePrefixOf(const std::string& programPath, const std::string& fallbackPrefix) {
    std::error_code ec;
    fs::path absolute = fs::absolute(programPath, ec).lexically_normal();
    std::string prefix = prefixInPath(absolute);
    if (prefix.empty()) {
        fs::path resolved = fs::weakly_canonical(absolute, ec);
        if (!ec)
            prefix = prefixInPath(resolved);
    }
    return prefix.empty() ? fallbackPrefix : prefix;
}

bool isWindowsExecutable(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    std::ifstream file(path, std::ios::binary);
    char magic[2] = {};
    return file.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

WineDrives::WineDrives(const std::string& prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(prefix) / "dosdevices", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() != 2 || name[1] != ':' || !isAsciiAlpha(name[0]))
            continue;
        std::error_code resolveError;
        fs::path root = fs::canonical(it->path(), resolveError);
        if (!resolveError && fs::is_directory(root, resolveError))
            drives_.push_back({asciiUpper(name[0]), root.string()});
    }
    std::sort(drives_.begin(), drives_.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
}

std::optional<std::string> WineDrives::linuxPath(std::string_view windowsPath) const {
    auto split = splitDrive(windowsPath);
    if (!split)
        return std::nullopt;
    auto drive = std::find_if(drives_.begin(), drives_.end(),
                              [&](const Drive& d) { return d.letter == split->first; });
    if (drive == drives_.end())
        return std::nullopt;
    fs::path path = drive->root;
    for (const std::string& part : windowsParts(split->second))
        path /= entryLike(path, part);
    return path.string();
}

std::string WineDrives::windowsPath(const std::string& linuxPath) const {
    std::error_code ec;
    fs::path path = fs::weakly_canonical(fs::absolute(linuxPath, ec), ec).lexically_normal();
    char letter = 'Z';
    fs::path root = "/";
    std::size_t best = 0;
    for (const Drive& drive : drives_) {
        auto covered = coveredParts(drive.root, path);
        if (covered && *covered > best) {
            best = *covered;
            letter = drive.letter;
            root = drive.root;
        }
    }
    std::string windows{letter, ':'};
    for (const auto& part : path.lexically_relative(root)) {
        if (part != ".")
            windows += "\\" + part.string();
    }
    return windows.size() == 2 ? windows + "\\" : windows;
}

std::optional<std::string> readWineMachineString(const std::string& prefix,
                                                 std::string_view keyPath,
                                                 std::string_view valueName) {
    auto text = readWholeFile(prefix + "/system.reg");
    if (!text)
        return std::nullopt;
    std::vector<std::string> views;
    std::size_t firstSeparator = keyPath.find('\\');
    bool underSoftware = equalIgnoringCase(keyPath.substr(0, firstSeparator), "SOFTWARE");
    if (underSoftware && firstSeparator != std::string_view::npos &&
        wineRegistryArchitecture(*text) != "win32")
        views.push_back(std::string(keyPath.substr(0, firstSeparator)) + "\\Wow6432Node" +
                        std::string(keyPath.substr(firstSeparator)));
    views.emplace_back(keyPath);
    for (const std::string& view : views) {
        if (auto value = findWineRegistryString(*text, view, valueName))
            return value;
    }
    return std::nullopt;
}

}  // namespace orvane
