// Faults of the download folder, through the whole dialog: the folder is
// removed while the data arrive. The temporary file then has nowhere to go,
// and the transfer must end in a failure, never in a success.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/transfer/transfer_harness.h"
#include "tools/transfer_peers/scripted_ftp_server.h"
#include "tools/transfer_peers/scripted_http_server.h"

namespace orvane::testing {
namespace {

using peers::FtpScript;
using peers::HttpScript;
using peers::ScriptedFtpServer;
using peers::ScriptedHttpServer;

// Ends in "Write File Error", waits for the user, and Cancel then closes it.
void ExpectWriteFileError(TransferHarness& harness) {
    ASSERT_TRUE(harness.RunToEnd(20000)) << "the transfer never ended";
    CTransferDlg& dialog = *harness.dialog;
    EXPECT_EQ(dialog.m_bFailed, 1);
    EXPECT_EQ(harness.surface.text(258), "Write File Error");
    EXPECT_EQ(harness.surface.text(262), "");
    EXPECT_FALSE(dialog.HasEnded());
    EXPECT_EQ(dialog.m_pFile, nullptr);
    EXPECT_FALSE(dialog.m_hThread.joinable());
    // Nothing was put back in place of the folder.
    EXPECT_FALSE(std::filesystem::exists(harness.downloadPath("downloads")));
    dialog.OnCancel();
    EXPECT_EQ(harness.surface.endCodes, std::vector<int>{IDCANCEL});
}

TEST(TransferFileFault, HttpFolderRemovedWhileTheBodyArrives) {
    std::string response = ScriptedHttpServer::Response("HTTP/1.1 200 OK", PatternBytes(200000));
    ScriptedHttpServer server(
        HttpScript{{{response.substr(0, 100000)}, {response.substr(100000), 800}}});
    TransferHarness harness;
    harness.Start("http://" + server.host() + "/quakes/ev.sac", true);
    ASSERT_TRUE(harness.RunUntil([&] { return harness.dialog->m_nReceived > 50000; }, 10000));
    ASSERT_LT(server.partsSent(), 2) << "the rest of the body came too early";
    std::filesystem::remove_all(harness.downloadPath("downloads"));
    ExpectWriteFileError(harness);
    EXPECT_EQ(server.partsSent(), 2);  // the whole body arrived first
}

TEST(TransferFileFault, FtpFolderRemovedBeforeTheDataArrive) {
    FtpScript script;
    script.file = PatternBytes(100000);
    ScriptedFtpServer server(script);
    TransferHarness harness;
    harness.Start("ftp://" + server.host() + "/quakes/ev.sac", false);
    // The PORT line: the temporary file is open, the RETR not yet sent.
    ASSERT_TRUE(harness.RunUntil([&] { return server.commands().size() >= 3; }, 10000));
    std::filesystem::remove_all(harness.downloadPath("downloads"));
    ExpectWriteFileError(harness);
    EXPECT_EQ(server.bytesDelivered(), 100000);
}

}  // namespace
}  // namespace orvane::testing
