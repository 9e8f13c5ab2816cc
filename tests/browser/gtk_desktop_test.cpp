// The whole program's windows in process, on real WebKit, with a download
// under way: what the frame and the status dialog show meanwhile, and the
// frame closed in the middle of it.

#include "browser/gtk/gtk_desktop.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "browser/app.h"
#include "browser/gtk/gtk_frame.h"
#include "browser/gtk/gtk_transfer_window.h"
#include "browser/gtk/gtk_view_host.h"
#include "browser/platform_world.h"
#include "tests/browser/gtk_session.h"
#include "tests/browser/loopback_servers.h"
#include "tests/platform/required_program.h"
#include "tools/testkit/local_web_server.h"
#include "tools/testkit/wait_until.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::GtkSession;

constexpr char kClickPage[] =
    "<html><head><title>Click</title><script>window.onload = function() {"
    " var a = document.createElement('a'); a.href = decodeURIComponent(location.hash.substring(1));"
    " document.body.appendChild(a); setTimeout(function() { a.click(); }, 300); };"
    "</script></head><body>click</body></html>";

// What a sampler saw while the status dialog ran.
struct Seen {
    std::vector<double> progress;
    std::string address, title, host, fileName;
    bool frameEnabled = true;
};

class GtkDesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::programInstalled("Xvfb"));
        ASSERT_TRUE(GtkSession::get()) << "GTK could not open its private X display";
        fs::create_directories(downloads);
        ProfileFile settings(folder / "ORVANEEXPLORER.INI");
        settings.writeString("Settings", "DownloadDir", downloads);
        settings.writeString("Endpoints", "MirrorHost",
                             "127.0.0.1:" + std::to_string(trickle.port()));
        settings.writeString("Endpoints", "HomePage", web.url("/click.html"));
        app = std::make_unique<CBrowserApp>(desktop, world, settings,
                                            RegistryStore({folder / "m.ini", folder / "u.ini"}));
    }
    std::string eventLink() const {
        return "http://127.0.0.1:" + std::to_string(trickle.port()) + "/QUAKES/Slow.EVT";
    }
    // Looks at the windows every 100 ms while the dialog runs; closes the
    // frame once the progress has moved a few times.
    static gboolean sample(gpointer self) {
        auto* test = static_cast<GtkDesktopTest*>(self);
        GtkTransferWindow* dialog = test->desktop.transfers()->runningWindow();
        if (!dialog || !gtk_widget_get_visible(GTK_WIDGET(dialog->window())))
            return G_SOURCE_CONTINUE;
        GtkFrameWindow* frame = test->desktop.frame();
        test->seen.address =
            gtk_entry_get_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(frame->addressBox()))));
        test->seen.title = gtk_window_get_title(dialog->window());
        test->seen.host = dialog->text(transfer_control::kHost);
        test->seen.fileName = dialog->text(transfer_control::kFileName);
        test->seen.frameEnabled = gtk_widget_is_sensitive(frame->menuBar());
        test->seen.progress.push_back(dialog->progressFraction());
        if (test->seen.progress.size() >= 12) {
            test->desktop.RequestClose();
            return G_SOURCE_REMOVE;
        }
        return G_SOURCE_CONTINUE;
    }

    testkit::TempFolder folder;
    std::string downloads = folder / "dl";
    testing::TricklingWebServer trickle{1 << 20, 4096, 50};
    testkit::LocalWebServer web{{{"/click.html", kClickPage}}};
    PlatformWorld world;
    GtkDesktop desktop{""};
    std::unique_ptr<CBrowserApp> app;
    Seen seen;
};

TEST_F(GtkDesktopTest, ADownloadShowsMovingProgressKeepsTheAddressAndEndsWithTheFrame) {
    std::string page = web.url("/click.html") + "#" + eventLink();
    ASSERT_TRUE(app->InitInstance({page}));
    guint sampler = g_timeout_add(100, sample, this);
    bool closed = GtkSession::pumpUntil([&] { return app->m_pBrowserView == nullptr; }, 30000);
    if (!closed)
        g_source_remove(sampler);
    ASSERT_TRUE(closed);
    ASSERT_GE(seen.progress.size(), 12u);
    EXPECT_GT(seen.progress.back(), seen.progress.front()) << "the progress moves";
    EXPECT_EQ(seen.address, page) << "a diverted link never reaches the address box";
    EXPECT_EQ(seen.title, "HTTP Transfer Status");
    EXPECT_EQ(seen.host, "127.0.0.1:" + std::to_string(trickle.port()));
    EXPECT_EQ(seen.fileName, "slow.evt");
    EXPECT_FALSE(seen.frameEnabled) << "the frame takes no input under the modal dialog";
    EXPECT_TRUE(fs::is_empty(downloads)) << "no partial file";
    EXPECT_TRUE(testkit::waitUntil([&] { return trickle.clientLeftEarly(); }, 10000));
    EXPECT_NE(app->settings().readString("Settings", "FramePos"), "");
}

}  // namespace
}  // namespace orvane
