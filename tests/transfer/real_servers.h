#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/platform/real_server.h"
#include "tests/platform/temp_folder.h"

namespace orvane::testing {

struct FetchResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
};
// Runs orvane-fetch with the arguments and extra environment (an empty value
// removes a variable) to its end, at most timeoutMs.
FetchResult RunFetch(const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, int timeoutMs,
                     const std::string& workingFolder = "");
std::string FetchProgram();

}  // namespace orvane::testing
