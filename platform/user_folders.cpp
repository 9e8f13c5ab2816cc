#include "platform/user_folders.h"

#include <glib.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace orvane {
namespace {

std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return {};
    return value;
}

std::string homeFromPasswordDatabase() {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return found->pw_dir ? found->pw_dir : "";
}

}  // namespace

std::string userHomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    return homeFromPasswordDatabase();
}

std::string userConfigHome() {
    std::string xdg = absoluteVariable("XDG_CONFIG_HOME");
    return xdg.empty() ? userHomeFolder() + "/.config" : xdg;
}

std::string userDataHome() {
    std::string xdg = absoluteVariable("XDG_DATA_HOME");
    return xdg.empty() ? userHomeFolder() + "/.local/share" : xdg;
}

std::string userCacheHome() {
    std::string xdg = absoluteVariable("XDG_CACHE_HOME");
    return xdg.empty() ? userHomeFolder() + "/.cache" : xdg;
}

std::string userDownloadFolder() {
    auto isFolder = [](const std::string& path) {
        struct stat status {};
        return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    };
    // GLib answers the home folder itself for an entry the desktop has
    // switched off; that is no download folder.
    const char* desktop = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    if (desktop && isFolder(desktop) && std::string(desktop) != userHomeFolder())
        return desktop;
    std::string fallback = userHomeFolder() + "/Downloads";
    return isFolder(fallback) ? fallback : std::string();
}

std::string windowsDirectory() {
    return userConfigHome() + "/orvane";
}

std::string browserSettingsPath() {
    return windowsDirectory() + "/" + kBrowserSettingsFileName;
}

std::string defaultFavoritesFolder() {
    return userDataHome() + "/orvane/Favorites";
}

}  // namespace orvane
