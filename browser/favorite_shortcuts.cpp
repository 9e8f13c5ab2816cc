#include "browser/favorite_shortcuts.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "browser/paths.h"
#include "platform/unique_fd.h"

namespace orvane {

namespace {
constexpr std::size_t kMaxNameBytes = 200;
constexpr int kMaxNumber = 1000;
constexpr char kForbidden[] = "\\/:*?\"<>|";

std::string cleaned(const std::string& text) {
    std::string name;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        bool control = byte < 0x20 || byte == 0x7f;
        name += control || std::strchr(kForbidden, c) ? '_' : c;
    }
    std::size_t first = name.find_first_not_of(". ");
    if (first == std::string::npos)
        return {};
    name.erase(0, first);
    if (name.size() > kMaxNameBytes) {
        std::size_t cut = kMaxNameBytes;
        // Back to the start of a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    name.erase(name.find_last_not_of(". ") + 1);
    return name;
}

std::string hostOf(const std::string& url) {
    std::size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return {};
    std::size_t start = scheme + 3;
    std::size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? end : end - start);
    return authority.substr(authority.find('@') == std::string::npos ? 0 : authority.find('@') + 1);
}

// The shortcut's text: one line per key, the URL kept to one line.
std::string shortcutText(const std::string& url) {
    std::string line;
    for (char c : url)
        if (c != '\r' && c != '\n')
            line += c;
    return "[InternetShortcut]\r\nURL=" + line + "\r\n";
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}
}  // namespace

std::string FavoriteName(const std::string& title, const std::string& url) {
    std::string name = cleaned(title);
    if (name.empty())
        name = cleaned(hostOf(url));
    return name.empty() ? "Untitled" : name;
}

std::optional<std::string> WriteFavoriteShortcut(const std::string& folder,
                                                 const std::string& title, const std::string& url,
                                                 std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::string base = AppendSeparator(folder) + FavoriteName(title, url);
    for (int number = 1; number <= kMaxNumber; ++number) {
        std::string path = base + (number == 1 ? "" : " (" + std::to_string(number) + ")") + ".url";
        // Made only when the name is free, so that no favourite is replaced.
        UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!file.valid() && errno == EEXIST)
            continue;
        if (!file.valid()) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        if (!writeAll(file.get(), shortcutText(url))) {
            error = std::strerror(errno);
            ::unlink(path.c_str());
            return std::nullopt;
        }
        return path;
    }
    error = "every name is taken";
    return std::nullopt;
}

}  // namespace orvane
