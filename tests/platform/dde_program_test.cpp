#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/platform/dde_server_thread.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"

namespace orvane {
namespace {

using testing::DdeServerThread;
using testkit::programFolder;
using testkit::ProgramResult;
using testkit::runProgram;
using testkit::TempFolder;
using Received = std::vector<std::pair<std::string, std::string>>;

class OrvaneDdeProgram : public ::testing::Test {
  protected:
    TempFolder runtime;
    std::string folder = runtime / "orvane-dde";

    ProgramResult run(const std::vector<std::string>& arguments) {
        return runProgram(programFolder() + "/orvane-dde", arguments,
                          {{"XDG_RUNTIME_DIR", runtime.path()}}, 10000);
    }
};

TEST_F(OrvaneDdeProgram, WrongArgumentsPrintTheUsageAndExitTwo) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {}, {"trmvw32"}, {"trmvw32", "System"}, {"trmvw32", "System", "x", "y"}}) {
        ProgramResult result = run(arguments);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.standardError.rfind("usage: orvane-dde SERVICE TOPIC COMMAND\n", 0), 0u)
            << result.standardError;
    }
}

TEST_F(OrvaneDdeProgram, ADeliveredCommandExitsZeroSilently) {
    DdeServerThread server(folder, "OrvaneExplorer", "system");
    ASSERT_TRUE(server.running()) << server.error();
    ProgramResult result = run({"orvaneexplorer", "SYSTEM", "[open(\"http://www.example.org/\")]"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(server.received(), (Received{{"SYSTEM", "[open(\"http://www.example.org/\")]"}}));
}

TEST_F(OrvaneDdeProgram, ARejectedCommandStillExitsZeroWithANote) {
    DdeServerThread server(folder, "trmvw32", "System", false);
    ASSERT_TRUE(server.running()) << server.error();
    ProgramResult result = run({"trmvw32", "System", "[close]"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardError, "orvane-dde: service \"trmvw32\" did not handle the command\n");
}

TEST_F(OrvaneDdeProgram, NoConversationExitsOneWithTheReason) {
    ProgramResult none = run({"trmvw32", "System", "x"});
    EXPECT_EQ(none.exitStatus, 1);
    EXPECT_EQ(none.standardError, "orvane-dde: no server for service \"trmvw32\"\n");

    DdeServerThread server(folder, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    ProgramResult topic = run({"trmvw32", "Data", "x"});
    EXPECT_EQ(topic.exitStatus, 1);
    EXPECT_EQ(topic.standardError,
              "orvane-dde: service \"trmvw32\" does not accept topic \"Data\"\n");

    ProgramResult tooLong = run({"trmvw32", "System", std::string(65537, 'x')});
    EXPECT_EQ(tooLong.exitStatus, 1);
    EXPECT_EQ(tooLong.standardError, "orvane-dde: command longer than 65536 bytes\n");
    EXPECT_TRUE(server.received().empty());
}

TEST_F(OrvaneDdeProgram, AFolderOpenToOthersIsNotUsed) {
    DdeServerThread server(folder, "trmvw32", "System");
    ASSERT_TRUE(server.running()) << server.error();
    ::chmod(folder.c_str(), 0777);
    ProgramResult result = run({"trmvw32", "System", "x"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, "orvane-dde: socket folder refused: " + folder +
                                        " is open to other users (mode 0777)\n");
    EXPECT_TRUE(server.received().empty());
}

}  // namespace
}  // namespace orvane
