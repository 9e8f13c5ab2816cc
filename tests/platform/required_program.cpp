#include "tests/platform/required_program.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace orvane::testing {

namespace {

// The package that brings the program, from the table of required programs.
std::string packageOf(const std::string& name) {
    std::ifstream table(std::string(ORVANE_SOURCE_DIR) + "/tests/required-programs.txt");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream words(line);
        std::string program, package;
        if (words >> program >> package && program == name)
            return package;
    }
    return {};
}

bool isExecutable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string requiredProgramPath(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), F_OK) == 0 ? name : std::string();
    // The servers live in sbin folders, which a user's PATH may not hold.
    const char* path = std::getenv("PATH");
    std::string folders = std::string(path ? path : "") + ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::istringstream list(folders);
    std::string folder;
    while (std::getline(list, folder, ':'))
        if (!folder.empty() && isExecutable(folder + "/" + name))
            return folder + "/" + name;
    return {};
}

::testing::AssertionResult programInstalled(const std::string& name) {
    if (!requiredProgramPath(name).empty())
        return ::testing::AssertionSuccess();
    std::string package = packageOf(name);
    if (package.empty())
        return ::testing::AssertionFailure()
               << name << " is missing and not listed in tests/required-programs.txt";
    return ::testing::AssertionFailure()
           << name << " is missing: install the Debian package " << package
           << " (scripts/install-deps, run by make check, installs it)";
}

}  // namespace orvane::testing
