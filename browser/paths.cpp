#include "browser/paths.h"

#include <unistd.h>

#include <filesystem>
#include <vector>

namespace orvane {

namespace {
bool isSeparator(char c) {
    return c == '/' || c == '\\';
}
// PREFIX/PLACE/ for a program in PREFIX/bin/ (any folder name above it).
std::string installedFolder(const std::string& programDir, const char* place) {
    std::filesystem::path prefix = std::filesystem::path(programDir).parent_path().parent_path();
    return (prefix / place).string() + "/";
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}
}  // namespace

std::string ProgramDirectoryOf(const std::string& modulePath) {
    if (modulePath.size() < 2)
        return {};
    // The first character is never taken as the separator, so a bare "/x"
    // yields no folder.
    for (std::size_t i = modulePath.size() - 1; i >= 1; --i) {
        if (modulePath[i] == '/')
            return modulePath.substr(0, i + 1);
    }
    return {};
}

std::string GetProgramDirectory() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : ProgramDirectoryOf(self.string());
}

std::string AppendSeparator(std::string path) {
    if (path.size() >= 2 && !isSeparator(path.back()))
        path += '/';
    return path;
}

std::string StripSeparator(std::string path) {
    if (path.size() >= 2 && isSeparator(path.back()))
        path.pop_back();
    return path;
}

bool DirectoryExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(StripSeparator(path), ec);
}

std::string DataDirectoryOf(const std::string& programDir) {
    if (programDir.empty() || fileExists(programDir + "help/OrvaneExplorer.html"))
        return programDir;
    return installedFolder(programDir, "share/orvane");
}

std::string HelperDirectoryOf(const std::string& programDir) {
    if (programDir.empty() || fileExists(programDir + "orvane-dde.exe"))
        return programDir;
    return installedFolder(programDir, "lib/orvane");
}

}  // namespace orvane
