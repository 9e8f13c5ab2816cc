#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/window_titles.h"
#include "tests/platform/child_process.h"
#include "tests/platform/required_program.h"
#include "tests/platform/temp_folder.h"
#include "tests/platform/xvfb_display.h"

namespace orvane::testing {

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
            ChildSetup{.stdoutFile = home / (program + ".out"), .workingFolder = {}});
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

    TempFolder home;
    std::unique_ptr<XvfbDisplay> xvfb;
    // Variables a test adds for the programs it starts.
    std::map<std::string, std::string> extraEnvironment;
};

}  // namespace orvane::testing
