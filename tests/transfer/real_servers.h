#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/platform/real_server.h"
#include "tools/testkit/temp_folder.h"

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

// The certificates of tools/transfer_servers/make-test-certificates, made
// afresh for the test in a folder of their own: an authority that only the
// test trusts, and server certificates ("good", "other-host", "expired",
// "self-signed").
class TestCertificates {
  public:
    TestCertificates();
    bool made() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    // The authority's file, for ORVANE_EXTRA_CA_FILE.
    std::string authority() const { return folder_ / "ca.pem"; }
    // The certificate and key files of a server certificate, as nginx-https
    // takes them.
    std::vector<std::string> serverFiles(const std::string& name) const {
        return {folder_ / (name + ".pem"), folder_ / (name + ".key")};
    }

  private:
    testkit::TempFolder folder_;
    std::string failure_;
};

}  // namespace orvane::testing
