#include "platform/registry_store.h"

#include <cstdlib>
#include <filesystem>

#include "platform/ascii_text.h"
#include "platform/profile_document.h"
#include "platform/user_folders.h"
#include "platform/whole_file.h"

namespace orvane {
namespace {

std::string fileFromVariable(const char* variable, const char* fileName,
                             const std::string& fallback) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0')
        return fallback;
    std::string path = value;
    std::error_code ec;
    if (path.back() == '/' || std::filesystem::is_directory(path, ec)) {
        if (path.back() != '/')
            path += '/';
        return path + fileName;
    }
    return path;
}

// Values that this platform always has, as Windows always does.
RegistryKey::Defaults builtInValues(RegistryRoot root, std::string_view path) {
    if (root == RegistryRoot::CurrentUser && equalIgnoringCase(path, kUserShellFoldersKey))
        return {{"Favorites", defaultFavoritesFolder()}};
    return {};
}

}  // namespace

RegistryFiles RegistryFiles::fromEnvironment() {
    return {fileFromVariable("ORVANE_HKLM", "hklm.ini", kDefaultLocalMachineFile),
            fileFromVariable("ORVANE_HKCU", "hkcu.ini", windowsDirectory() + "/hkcu.ini")};
}

std::string normalizedKeyPath(std::string_view path) {
    std::size_t first = path.find_first_not_of('\\');
    if (first == std::string_view::npos)
        return {};
    path = path.substr(first, path.find_last_not_of('\\') - first + 1);
    if (path.find_first_of(std::string_view("\r\n\0]", 4)) != std::string_view::npos)
        return {};
    return std::string(path);
}

std::optional<std::string> RegistryKey::queryValue(std::string_view name) const {
    if (auto stored = file_.find(path_, name))
        return stored;
    for (const auto& [defaultName, value] : defaults_) {
        if (equalIgnoringCase(defaultName, name))
            return value;
    }
    return std::nullopt;
}

bool RegistryKey::setValue(std::string_view name, std::string_view value) {
    return file_.writeString(path_, name, value);
}

ProfileFile RegistryStore::fileOf(RegistryRoot root) const {
    return ProfileFile(root == RegistryRoot::LocalMachine ? files_.localMachine
                                                          : files_.currentUser);
}

bool RegistryStore::keyExists(const ProfileFile& file, const std::string& path) const {
    for (const std::string& section : file.sectionNames()) {
        std::string key = normalizedKeyPath(section);
        if (equalIgnoringCase(key, path) || startsWithIgnoringCase(key, path + "\\"))
            return true;
    }
    return false;
}

std::optional<RegistryKey> RegistryStore::openKey(RegistryRoot root, std::string_view path) const {
    std::string key = normalizedKeyPath(path);
    if (key.empty())
        return std::nullopt;
    ProfileFile file = fileOf(root);
    RegistryKey::Defaults defaults = builtInValues(root, key);
    if (defaults.empty() && !keyExists(file, key))
        return std::nullopt;
    return RegistryKey(std::move(file), std::move(key), std::move(defaults));
}

std::optional<RegistryKey> RegistryStore::createKey(RegistryRoot root, std::string_view path) {
    std::string key = normalizedKeyPath(path);
    if (key.empty())
        return std::nullopt;
    ProfileFile file = fileOf(root);
    // As with a key opened for writing, no right to the store means no key,
    // even when the key is already there.
    if (!fileReplaceable(file.path()) || !file.addSection(key))
        return std::nullopt;
    RegistryKey::Defaults defaults = builtInValues(root, key);
    return RegistryKey(std::move(file), std::move(key), std::move(defaults));
}

}  // namespace orvane
