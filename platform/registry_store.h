#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/profile_file.h"

namespace orvane {

// The two registry roots the programs use.
enum class RegistryRoot { LocalMachine, CurrentUser };

// Where each root is kept: one settings-format file per root, whose sections
// are key paths ("SOFTWARE\Orvane Network\OrvaneExplorer") and whose entries
// are string values.
struct RegistryFiles {
    std::string localMachine;
    std::string currentUser;

    // HKEY_LOCAL_MACHINE: $ORVANE_HKLM, else /var/lib/orvane/hklm.ini.
    // HKEY_CURRENT_USER: $ORVANE_HKCU, else ${XDG_CONFIG_HOME:-~/.config}/orvane/hkcu.ini.
    // A variable may name the file itself, or a folder (an existing one, or
    // any path ending in "/"), which then holds hklm.ini or hkcu.ini.
    static RegistryFiles fromEnvironment();
};

inline constexpr const char* kDefaultLocalMachineFile = "/var/lib/orvane/hklm.ini";
inline constexpr const char* kUserShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// An open key. Value names compare without regard to case, as in the registry.
class RegistryKey {
  public:
    // Values a key has even when the store does not hold them.
    using Defaults = std::vector<std::pair<std::string, std::string>>;

    // The value; nullopt when it is missing (a built-in default of the
    // platform, such as the user's Favorites folder, counts as present).
    std::optional<std::string> queryValue(std::string_view name) const;
    // Sets a string value. False, without any message, when the store
    // cannot be written.
    bool setValue(std::string_view name, std::string_view value);

    const std::string& path() const { return path_; }

  private:
    friend class RegistryStore;
    RegistryKey(ProfileFile file, std::string path, Defaults defaults)
        : file_(std::move(file)), path_(std::move(path)), defaults_(std::move(defaults)) {}

    ProfileFile file_;
    std::string path_;
    Defaults defaults_;
};

// The registry of this platform: a small key/value store in files. Key
// paths compare without regard to case; "\" separates their parts; a key
// exists when it, or a key below it, has been created.
class RegistryStore {
  public:
    explicit RegistryStore(RegistryFiles files) : files_(std::move(files)) {}
    static RegistryStore fromEnvironment() {
        return RegistryStore(RegistryFiles::fromEnvironment());
    }

    // Opens an existing key for reading; nullopt when it does not exist.
    std::optional<RegistryKey> openKey(RegistryRoot root, std::string_view path) const;
    // Opens a key for writing, creating it when missing; nullopt, without
    // any message, when the store cannot be written (no right to the
    // machine-wide file) or the path is not a usable key name.
    std::optional<RegistryKey> createKey(RegistryRoot root, std::string_view path);

    const RegistryFiles& files() const { return files_; }

  private:
    ProfileFile fileOf(RegistryRoot root) const;
    bool keyExists(const ProfileFile& file, const std::string& path) const;

    RegistryFiles files_;
};

// The key path without separators at either end; empty when it cannot name
// a key (a line break or "]" in it).
std::string normalizedKeyPath(std::string_view path);

}  // namespace orvane
