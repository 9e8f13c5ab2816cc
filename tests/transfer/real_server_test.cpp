// orvane-fetch against real servers on loopback, started by the test:
// nginx over HTTP/1.1, vsftpd (230 at USER) and pyftpdlib (331, then 230)
// over active-mode FTP. Files of every size arrive byte for byte.
#include <gtest/gtest.h>

#include <memory>

#include "tests/platform/required_program.h"
#include "tests/transfer/real_servers.h"
#include "tests/transfer/transfer_harness.h"

namespace orvane::testing {
namespace {

struct ServedFile {
    const char* name;
    std::size_t size;
};
constexpr ServedFile kFiles[] = {
    {"empty.bin", 0}, {"five.bin", 5}, {"one-mb.bin", 1 << 20}, {"fifty-mb.bin", 50 << 20}};

constexpr char kPyftpdlibModule[] = "/usr/lib/python3/dist-packages/pyftpdlib/__init__.py";

class RealServers : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        root_ = std::make_unique<TempFolder>();
        for (const ServedFile& file : kFiles)
            WriteFile(*root_ / file.name, PatternBytes(file.size));
    }
    static void TearDownTestSuite() { root_.reset(); }

    // Downloads every file and a missing one from the server.
    void FetchAll(const std::string& kind, const std::string& scheme) {
        RealServer server(kind, root_->path());
        ASSERT_TRUE(server.running()) << server.failure();
        TempFolder downloads;
        for (const ServedFile& file : kFiles) {
            std::string url = scheme + "://" + server.host() + "/" + file.name;
            FetchResult result = RunFetch({url, downloads.path()}, Private(), 120000);
            ASSERT_EQ(result.exitStatus, 0) << url << "\n" << result.err;
            EXPECT_EQ(result.out, downloads / file.name + "\n");
            EXPECT_TRUE(ReadFile(downloads / file.name) == ReadFile(*root_ / file.name))
                << url << " did not arrive byte for byte";
        }
        FetchResult missing = RunFetch(
            {scheme + "://" + server.host() + "/missing.bin", downloads.path()}, Private(), 60000);
        EXPECT_EQ(missing.exitStatus, 1);
        EXPECT_EQ(missing.out, "");
        EXPECT_TRUE(missing.err.ends_with("\nFile Not Found\n")) << missing.err;
        EXPECT_FALSE(std::filesystem::exists(downloads / "missing.bin"));
    }
    std::map<std::string, std::string> Private() {
        return {{"XDG_CONFIG_HOME", config_.path()}, {"HOME", config_.path()}};
    }

    static std::unique_ptr<TempFolder> root_;
    TempFolder config_;
};
std::unique_ptr<TempFolder> RealServers::root_;

TEST_F(RealServers, NginxOverHttp) {
    ASSERT_TRUE(testing::programInstalled("nginx"));
    FetchAll("nginx", "http");
}
TEST_F(RealServers, VsftpdOverActiveFtp) {
    ASSERT_TRUE(testing::programInstalled("vsftpd"));
    FetchAll("vsftpd", "ftp");
}
TEST_F(RealServers, PyftpdlibOverActiveFtp) {
    ASSERT_TRUE(testing::programInstalled(kPyftpdlibModule));
    FetchAll("pyftpdlib", "ftp");
}

}  // namespace
}  // namespace orvane::testing
