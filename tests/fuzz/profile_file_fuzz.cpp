// The settings file (ORVANEEXPLORER.INI, the registry files) and the
// Internet shortcut files, as ProfileFile reads and writes them. Any bytes
// must read as values without line breaks or NULs, a frame placement read
// from them must be a usable window, and writing one key must read back and
// leave every other key as it was.
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "browser/frame_placement.h"
#include "platform/ascii_text.h"
#include "platform/profile_document.h"
#include "platform/profile_file.h"
#include "platform/whole_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using orvane::ProfileDocument;
using orvane::ProfileFile;
using orvane::fuzz::require;
using orvane::fuzz::ScratchFolder;

constexpr char kWrittenValue[] = "/data/quakes/";

// What the programs read: the browser's settings, the endpoints, a shortcut's URL.
const std::pair<const char*, const char*> kReadKeys[] = {
    {"Settings", "DownloadDir"},  {"Settings", "TremoraPath"},
    {"Settings", "TremoraDir"},   {"Settings", "FramePos"},
    {"Endpoints", "MainWebHost"}, {"Endpoints", "HomePage"},
    {"InternetShortcut", "URL"},  {"SOFTWARE\\Orvane Network\\Tremora", "Location"},
};

void checkPlacement(const std::string& text) {
    auto placement = orvane::FramePlacement::Parse(text);
    if (!placement)
        return;
    const long long width = static_cast<long long>(placement->right) - placement->left;
    const long long height = static_cast<long long>(placement->bottom) - placement->top;
    require(width > 0 && width <= INT_MAX && height > 0 && height <= INT_MAX,
            "a placement read from the file gives a window size that fits an int");
}

void checkReads(const ProfileFile& file) {
    for (const auto& [section, key] : kReadKeys) {
        const std::string value = file.readString(section, key);
        require(value.find_first_of(std::string("\n\0", 2)) == std::string::npos,
                "a value holds no line feed and no NUL");
    }
    checkPlacement(file.readString("Settings", "FramePos"));
    for (const std::string& name : file.sectionNames())
        require(file.hasSection(name), "every listed section is found");
}

// The first value of every section and key in the text.
std::map<std::pair<std::string, std::string>, std::string> firstValues(std::string_view text) {
    const ProfileDocument document = ProfileDocument::parse(text);
    std::map<std::pair<std::string, std::string>, std::string> values;
    std::string section;
    bool inSection = false;
    for (const auto& line : document.lines()) {
        if (line.kind == ProfileDocument::Kind::Section)
            section = line.name, inSection = true;
        if (!inSection || line.kind != ProfileDocument::Kind::Entry)
            continue;
        if (const auto* first = document.findEntry(section, line.name))
            values.emplace(std::make_pair(section, line.name), first->value);
    }
    return values;
}

void checkWrite(const std::string& path, std::string_view text) {
    require(orvane::replaceFileContents(path, text), "the scratch copy is written");
    ProfileFile file(path);
    const auto before = firstValues(text);
    require(file.writeString("Settings", "DownloadDir", kWrittenValue), "the key is written");
    require(file.readString("Settings", "DownloadDir") == kWrittenValue, "the key reads back");
    const auto written = orvane::readWholeFile(path);
    require(written.has_value(), "the written file reads");
    const ProfileDocument after = ProfileDocument::parse(*written);
    for (const auto& [name, value] : before) {
        if (orvane::equalIgnoringCase(name.first, "Settings") &&
            orvane::equalIgnoringCase(name.second, "DownloadDir"))
            continue;
        const auto* entry = after.findEntry(name.first, name.second);
        require(entry != nullptr && entry->value == value, "writing one key leaves the others");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orvane::fuzz::MemoryFile input;
    static ScratchFolder scratch("profile");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    input.replace(text);
    checkReads(ProfileFile(input.path()));
    checkWrite(scratch.file("settings.ini"), text);
    return 0;
}
