#pragma once

#include <string>

namespace orvane {

// The running executable's folder, ending in "/"; empty when it cannot be found.
std::string GetProgramDirectory();
// The folder part of a module path, up to and including its last separator.
std::string ProgramDirectoryOf(const std::string& modulePath);
// Appends "/" to a path of two or more characters that does not already end
// in a separator.
std::string AppendSeparator(std::string path);
// Drops one final separator from a path of two or more characters.
std::string StripSeparator(std::string path);
bool DirectoryExists(const std::string& path);

}  // namespace orvane
