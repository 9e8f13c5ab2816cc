#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// One entry of a folder, as a "*.*" file search reports it. This platform
// has no system files; a name starting with "." is hidden.
struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;  // a link to a folder counts as a folder
    bool isHidden = false;
};

// Every entry of the folder except "." and "..", sorted by name without
// regard to ASCII case (as the Windows file system lists them; names that
// differ only in case keep byte order). nullopt when the folder cannot be
// listed.
std::optional<std::vector<DirectoryEntry>> listDirectory(const std::string& folder);

}  // namespace orvane
