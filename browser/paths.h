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

// The folder that holds the help page (help/OrvaneExplorer.html): the
// program's own folder in a build tree, where the page sits beside the
// program, else the installed layout's PREFIX/share/orvane/ (the program
// in PREFIX/bin/). Ends in "/".
std::string DataDirectoryOf(const std::string& programDir);
// The folder that holds the Windows helper orvane-dde.exe: the program's
// own folder when the helper is there, else PREFIX/lib/orvane/.
std::string HelperDirectoryOf(const std::string& programDir);

}  // namespace orvane
