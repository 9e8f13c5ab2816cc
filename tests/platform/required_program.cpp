#include "tests/platform/required_program.h"

#include <fstream>
#include <sstream>

#include "tools/testkit/child_process.h"

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

}  // namespace

::testing::AssertionResult programInstalled(const std::string& name) {
    if (!testkit::requiredProgramPath(name).empty())
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
