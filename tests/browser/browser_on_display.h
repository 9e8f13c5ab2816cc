#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/window_titles.h"
#include "tests/browser/x_window_probe.h"
#include "tests/platform/required_program.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"
#include "tools/testkit/wait_until.h"
#include "tools/testkit/xvfb_display.h"

namespace orvane::testing {

using testkit::ChildProcess;
using testkit::ChildSetup;
using testkit::programFolder;
using testkit::ProgramResult;
using testkit::readFileText;
using testkit::requiredProgramPath;
using testkit::runProgram;
using testkit::waitUntil;
using testkit::XvfbDisplay;

// The browser as a process on a private X display, with a private home,
// settings, registry and DDE folder.
class BrowserOnDisplayBase : public ::testing::Test {
  protected:
    static constexpr int kWaitMs = 20000;

    void SetUp() override {
        ASSERT_TRUE(testing::programInstalled("Xvfb"));
        xvfb = std::make_unique<XvfbDisplay>();
        ASSERT_TRUE(xvfb->running());
        ::mkdir((home / "run").c_str(), 0700);
    }

    std::map<std::string, std::string> environment() const {
        std::map<std::string, std::string> variables{{"DISPLAY", xvfb->name()},
                                                     {"HOME", home.path()},
                                                     {"XDG_RUNTIME_DIR", home / "run"},
                                                     {"XDG_CONFIG_HOME", home / "cfg"},
                                                     {"XDG_DATA_HOME", home / "data"},
                                                     {"XDG_CACHE_HOME", home / "cache"},
                                                     {"ORVANE_HKLM", home / "hklm.ini"},
                                                     {"ORVANE_HKCU", home / "hkcu.ini"},
                                                     {"NO_AT_BRIDGE", "1"},
                                                     {"TREMORA_STANDIN_LOG", home / "viewer.log"}};
        variables.insert(extraEnvironment.begin(), extraEnvironment.end());
        return variables;
    }
    std::unique_ptr<ChildProcess> start(const std::string& program,
                                        const std::vector<std::string>& arguments) {
        auto child = std::make_unique<ChildProcess>(
            programFolder() + "/" + program, arguments, environment(), home / (program + ".err"),
            ChildSetup{.stdoutFile = home / (program + ".out"), .workingFolder = workingFolder});
        EXPECT_TRUE(child->started());
        return child;
    }
    std::vector<std::string> titles() const {
        return listTopLevelWindowTitles(xvfb->name().c_str());
    }
    bool titleShown(const std::string& title, int timeoutMs = kWaitMs) const {
        return waitUntil(
            [&] {
                auto all = titles();
                return std::find(all.begin(), all.end(), title) != all.end();
            },
            timeoutMs);
    }
    int windowsContaining(const std::string& text) const {
        int count = 0;
        for (const auto& title : titles())
            count += title.find(text) != std::string::npos;
        return count;
    }
    // Sends a DDE command to the browser, as another program would.
    ProgramResult sendCommand(const std::string& command) const {
        return runProgram(programFolder() + "/orvane-dde", {"orvaneexplorer", "system", command},
                          environment(), kWaitMs);
    }
    ProgramResult sendOpen(const std::string& url) const {
        return sendCommand("[open(\"" + url + "\")]");
    }
    // Focuses the window with that exact title and runs an xdotool action in
    // it. A window that is listed but not yet mapped cannot take the focus:
    // try again. A key that closes its window leaves no window for the key's
    // release, which xdotool reports as a failed X_SendEvent: the key did
    // arrive.
    bool inWindow(const std::string& title, const std::vector<std::string>& action) const {
        std::vector<std::string> arguments{"search",          "--sync",      "--name",
                                           "^" + title + "$", "windowfocus", "--sync"};
        arguments.insert(arguments.end(), action.begin(), action.end());
        for (int attempt = 0; attempt < 10; ++attempt) {
            auto result =
                runProgram("/usr/bin/xdotool", arguments, {{"DISPLAY", xvfb->name()}}, 5000);
            if (result.exitStatus == 0 ||
                result.standardError.find("X_SendEvent") != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return false;
    }
    // Keeps a picture of the display, or of one window, among the test
    // artefacts of the build folder.
    void screenshot(const std::string& name, const std::string& windowTitle = {}) const {
        std::string folder = programFolder() + "/../test-artefacts/browser";
        std::filesystem::create_directories(folder);
        std::vector<std::string> arguments{folder + "/" + name + ".png"};
        if (!windowTitle.empty())
            arguments.push_back(windowTitle);
        auto result = runProgram(programFolder() + "/orvane-screenshot", arguments,
                                 {{"DISPLAY", xvfb->name()}}, kWaitMs);
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    }

    // openbox on the display: windows get activated, decorated and focused
    // as on a desktop.
    void startWindowManager() {
        ASSERT_TRUE(testing::programInstalled("openbox"));
        windowManager = std::make_unique<ChildProcess>("/usr/bin/openbox",
                                                       std::vector<std::string>{"--sm-disable"},
                                                       environment(), home / "openbox.err");
        probe = std::make_unique<XWindowProbe>(xvfb->name());
        ASSERT_TRUE(probe->connected());
        ASSERT_TRUE(waitUntil([&] { return probe->windowManagerReady(); }, kWaitMs))
            << readFileText(home / "openbox.err");
    }
    // A private session bus (dbus-daemon) for the programs started after
    // it: the quick-look keeps to one window through it.
    void startSessionBus() {
        ASSERT_TRUE(testing::programInstalled("dbus-daemon"));
        std::string socket = home / "run/bus";
        std::string address = "unix:path=" + socket;
        sessionBus = std::make_unique<ChildProcess>(
            requiredProgramPath("dbus-daemon"),
            std::vector<std::string>{"--session", "--nofork", "--nopidfile",
                                     "--address=" + address},
            environment(), home / "dbus-daemon.err");
        ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(socket); }, kWaitMs))
            << readFileText(home / "dbus-daemon.err");
        extraEnvironment["DBUS_SESSION_BUS_ADDRESS"] = address;
    }
    // Presses keys (xdotool key names) in the window with that exact title.
    bool pressKeys(const std::string& title, const std::vector<std::string>& keys) const {
        std::vector<std::string> action{"key", "--delay", "100"};
        action.insert(action.end(), keys.begin(), keys.end());
        return inWindow(title, action);
    }
    // Types a text into the window with that exact title.
    bool typeText(const std::string& title, const std::string& text) const {
        return inWindow(title, {"type", "--delay", "60", text});
    }
    // What the browser logged of its frame and dialogs (G_MESSAGES_DEBUG).
    std::string frameLog() const { return readFileText(home / "orvaneexplorer.out"); }
    bool logged(const std::string& text, int timeoutMs = kWaitMs) const {
        return waitUntil([&] { return frameLog().find(text) != std::string::npos; }, timeoutMs);
    }

    testkit::TempFolder home;
    std::unique_ptr<XvfbDisplay> xvfb;
    std::unique_ptr<ChildProcess> windowManager;
    std::unique_ptr<ChildProcess> sessionBus;
    std::unique_ptr<XWindowProbe> probe;
    // Variables a test adds for the programs it starts.
    std::map<std::string, std::string> extraEnvironment;
    // Where the programs started run (empty: the test's own folder).
    std::string workingFolder;
};

}  // namespace orvane::testing
