#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// The whole contents of a file; nullopt when it cannot be read (missing,
// a directory, no right) or is no regular file (a FIFO, a device).
std::optional<std::string> readWholeFile(const std::string& path);

// Replaces a file's contents in one step, so that a crash or a full disk
// never leaves half a file: the text goes to a new file in the same folder,
// is flushed to disk and then renamed over the old one. Missing folders are
// created. An existing file keeps its permissions (a symbolic link keeps
// pointing at the file it names, which is the one replaced); a new file gets
// the usual 0666 less the umask. False when anything fails; the old file is
// then untouched.
bool replaceFileContents(const std::string& path, std::string_view contents);

// Whether replaceFileContents could work on this path: the folder that holds
// (or would hold) the file is writable by this process.
bool fileReplaceable(const std::string& path);

}  // namespace orvane
