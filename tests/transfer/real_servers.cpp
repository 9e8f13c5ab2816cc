#include "tests/transfer/real_servers.h"

#include "tools/testkit/child_process.h"

namespace orvane::testing {

using testkit::TempFolder;

using testkit::ChildProcess;
using testkit::programFolder;
using testkit::readFileText;
using testkit::runProgram;

std::string FetchProgram() {
    return programFolder() + "/orvane-fetch";
}

TestCertificates::TestCertificates() {
    auto result = runProgram(
        std::string(ORVANE_SOURCE_DIR) + "/tools/transfer_servers/make-test-certificates",
        {folder_.path()}, {}, 60000);
    if (result.exitStatus != 0)
        failure_ = "make-test-certificates failed: " + result.standardError;
}

FetchResult RunFetch(const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, int timeoutMs,
                     const std::string& workingFolder) {
    TempFolder outputs;
    FetchResult result;
    {
        ChildProcess fetch(FetchProgram(), arguments, environment, outputs / "err",
                           {outputs / "out", workingFolder});
        result.exitStatus = fetch.waitForExit(timeoutMs).value_or(-1);
    }
    result.out = readFileText(outputs / "out");
    result.err = readFileText(outputs / "err");
    return result;
}

}  // namespace orvane::testing
