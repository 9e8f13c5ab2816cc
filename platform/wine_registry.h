#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Reading Wine's registry files (system.reg, user.reg): text in Wine's own
// format, as wineserver writes it:
//
//   WINE REGISTRY Version 2
//   ;; All keys relative to \\Machine
//   #arch=win64
//
//   [Software\\Orvane Network\\Tremora] 1700000000
//   #time=1d9a0c2b3e4f5a6
//   "Location"="C:\\Program Files\\Tremora\\trmvw32.exe"
//   "Other"=str(2):"C:\\\xe9\\%x%"
//   @="default value"
//
// Key names and value names are escaped strings (\\ for "\", \" and \] for
// the delimiters, \n \r \t \a \b \e \f \v, \xHHHH for a UTF-16 unit, octal
// \NNN); keys compare without regard to letter case. Binary values may run
// over several lines, each ending in "\".

// A string value of a key: str:, str(2): (REG_EXPAND_SZ, not expanded),
// str(7): (REG_MULTI_SZ, the first string), hex(1): or hex(2): (UTF-16LE
// bytes). Returned as UTF-8; nullopt when the key or the value is missing or
// the value holds no text (a dword, binary data, a damaged line). The key
// path is relative to the file's root, with single "\" between its parts.
std::optional<std::string> findWineRegistryString(std::string_view registryText,
                                                  std::string_view keyPath,
                                                  std::string_view valueName);

// The "#arch=" line of the file's header ("win32", "win64"); empty when the
// file has none (older prefixes, which are 32-bit).
std::string wineRegistryArchitecture(std::string_view registryText);

// One escaped string of the format (between its delimiters, without them)
// as UTF-8; nullopt when an escape is cut off. Exposed for the tests.
std::optional<std::string> unescapeWineRegistryText(std::string_view escaped);

}  // namespace orvane
