#pragma once

#include <optional>
#include <string>

namespace orvane {

// The name Kestrel prints and reads: the typed name upper-cased, with ".HEX"
// appended when the upper-cased name does not contain it.
std::string NormaliseHexFileName(const std::string& typed);

// Finds the file behind a normalised name on a case-sensitive file system:
// the typed name itself when nothing had to be appended and it exists, else
// the entry of the typed name's folder whose name matches the normalised
// last component in any letter case (the first in sorted order).
std::optional<std::string> LocateHexFile(const std::string& typed, const std::string& normalised);

// True when the file holds bytes that no text file has (NUL and other
// control characters): such a file is no Intel HEX file, whatever its name.
bool HoldsBinaryData(const std::string& path);

}  // namespace orvane
