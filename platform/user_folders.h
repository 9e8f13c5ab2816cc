#pragma once

#include <string>

namespace orvane {

// The name of the browser's settings file, which lives in the Windows
// directory of this platform.
inline constexpr const char* kBrowserSettingsFileName = "ORVANEEXPLORER.INI";

// The user's home folder: $HOME, else the password database's entry.
std::string userHomeFolder();
// ${XDG_CONFIG_HOME:-~/.config} (a relative XDG_CONFIG_HOME is ignored, as
// the XDG rules say).
std::string userConfigHome();
// ${XDG_DATA_HOME:-~/.local/share}.
std::string userDataHome();
// ${XDG_CACHE_HOME:-~/.cache}.
std::string userCacheHome();
// The user's download folder: the desktop's own (XDG_DOWNLOAD_DIR of
// user-dirs.dirs), else ~/Downloads when it exists; empty when neither does.
std::string userDownloadFolder();
// Where settings files named without a folder are kept: the place that the
// Windows directory has on this platform, userConfigHome() + "/orvane".
std::string windowsDirectory();
// windowsDirectory() + "/ORVANEEXPLORER.INI".
std::string browserSettingsPath();
// The favourites folder that the user always has, even when nothing names
// it: userDataHome() + "/orvane/Favorites".
std::string defaultFavoritesFolder();

}  // namespace orvane
