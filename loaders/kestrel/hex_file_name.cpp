#include "loaders/kestrel/hex_file_name.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/ascii_text.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

bool isBinaryByte(unsigned char c) {
    // Tab, line ends, form feeds and the old DOS end-of-file mark (Ctrl-Z)
    // do occur in text files; other control characters do not.
    constexpr unsigned char kDosEndOfFile = 0x1A;
    if (c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == kDosEndOfFile)
        return false;
    return c < 0x20 || c == 0x7F;
}

}  // namespace

std::string NormaliseHexFileName(const std::string& typed) {
    std::string name = asciiUppered(typed);
    if (name.find(".HEX") == std::string::npos)
        name += ".HEX";
    return name;
}

std::optional<std::string> LocateHexFile(const std::string& typed, const std::string& normalised) {
    std::error_code ec;
    bool appended = normalised.size() != typed.size();
    if (!appended && fs::exists(typed, ec))
        return typed;

    // The folder as typed is everything before the file name, whichever
    // separators the platform takes. Upper-casing keeps every separator where
    // it was, so both names split alike.
    std::string leaf = fs::path(typed).filename().string();
    std::string folder = typed.substr(0, typed.size() - leaf.size());
    std::string wanted = normalised.substr(folder.size());
    std::vector<std::string> matches;
    for (const auto& entry : fs::directory_iterator(folder.empty() ? "." : folder, ec)) {
        std::string name = entry.path().filename().string();
        if (asciiUppered(name) == wanted)
            matches.push_back(name);
    }
    if (matches.empty())
        return std::nullopt;
    std::sort(matches.begin(), matches.end());
    return folder + matches.front();
}

bool HoldsBinaryData(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> chunk(1 << 16);
    while (file.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || file.gcount()) {
        auto end = chunk.begin() + file.gcount();
        if (std::any_of(chunk.begin(), end,
                        [](char c) { return isBinaryByte(static_cast<unsigned char>(c)); }))
            return true;
    }
    return false;
}

}  // namespace orvane
