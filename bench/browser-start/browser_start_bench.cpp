// Starts OrvaneExplorer and surf (the small WebKitGTK browser, the same
// WebKit) in turns, ten times each, with the same local page, and measures
// the time from the start of the process to the page's title in the window
// caption, and the peak memory of the browser process (and of it with the
// WebKit processes it starts). Each run has a fresh home, settings and
// caches; all runs share one private Xvfb display. Prints every run, the
// medians and spreads, and the ratio of the medians (OrvaneExplorer's over
// surf's: at most 1 is at least as fast).
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/window_titles.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"
#include "tools/testkit/xvfb_display.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using orvane::testkit::ChildProcess;
using orvane::testkit::TempFolder;
using orvane::testkit::XvfbDisplay;

constexpr int kRuns = 10;
constexpr auto kPoll = std::chrono::milliseconds(5);
constexpr auto kRunLimit = std::chrono::seconds(60);
constexpr char kSurf[] = "/usr/bin/surf";
constexpr char kCaption[] = "Start Bench - Orvane Explorer";
// surf's caption ends in the page's title, after its indicators.
constexpr char kSurfCaptionEnd[] = "| Start Bench";
constexpr char kPage[] =
    "<!DOCTYPE html><html><head><meta charset='utf-8'><title>Start Bench</title></head><body>"
    "<h1>Events</h1><p>A page of the kind the network serves: a heading, a table of event "
    "links.</p><table><tr><td><a href='quakes/2024/0315.evt'>0315.evt</a></td></tr></table>"
    "</body></html>";

struct Run {
    double seconds = 0;
    long browserKb = 0;  // VmHWM of the browser process
    long totalKb = 0;    // and of the WebKit processes it started
};

// A field of /proc/PID/status in kB (0 when the process is gone).
long statusKb(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::atol(line.c_str() + field.size() + 1);
    return 0;
}

pid_t parentOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    // One line; read through getline, which turns a process that ended
    // meanwhile into an empty text instead of an exception.
    std::string text;
    std::getline(stat, text);
    auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(text.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    return parent;
}

// The process and everything it started, directly or not.
std::vector<pid_t> processTree(pid_t root) {
    std::map<pid_t, pid_t> parents;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid > 0)
            parents[pid] = parentOf(pid);
    }
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (const auto& [pid, parent] : parents)
            if (parent == tree[i])
                tree.push_back(pid);
    return tree;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

struct Browser {
    const char* name;
    std::string program;
    bool surf;
};

bool captionShown(const std::string& display, const Browser& browser) {
    for (const auto& title : orvane::listTopLevelWindowTitles(display.c_str()))
        if (browser.surf ? endsWith(title, kSurfCaptionEnd) : title == kCaption)
            return true;
    return false;
}

std::optional<Run> runOnce(const Browser& which, const std::string& display,
                           const std::string& pageUrl) {
    TempFolder home("orvane-bench-home");
    ::mkdir(home.file("run").c_str(), 0700);
    std::map<std::string, std::string> environment{{"DISPLAY", display},
                                                   {"HOME", home.path()},
                                                   {"XDG_RUNTIME_DIR", home.file("run")},
                                                   {"XDG_CONFIG_HOME", home.file("cfg")},
                                                   {"XDG_DATA_HOME", home.file("data")},
                                                   {"XDG_CACHE_HOME", home.file("cache")},
                                                   {"ORVANE_HKLM", home.file("hklm.ini")},
                                                   {"ORVANE_HKCU", home.file("hkcu.ini")},
                                                   {"NO_AT_BRIDGE", "1"}};
    auto started = Clock::now();
    ChildProcess browser(which.program, {pageUrl}, environment, home.file("err"));
    if (!browser.started())
        return std::nullopt;
    while (!captionShown(display, which)) {
        if (Clock::now() - started > kRunLimit || !browser.running()) {
            std::fprintf(stderr, "browser-start: %s showed no page title (see below)\n%s",
                         which.name, orvane::testkit::readFileText(home.file("err")).c_str());
            return std::nullopt;
        }
        std::this_thread::sleep_for(kPoll);
    }
    Run run;
    run.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    for (pid_t pid : processTree(browser.pid())) {
        long peak = statusKb(pid, "VmHWM");
        run.totalKb += peak;
        if (pid == browser.pid())
            run.browserKb = peak;
    }
    browser.terminate();
    browser.waitForExit(10000);
    return run;
}

template <typename T>
T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string bin = argc > 1 ? argv[1] : "build/bin";
    XvfbDisplay xvfb;
    if (!xvfb.running()) {
        std::fprintf(stderr, "browser-start: Xvfb could not start (scripts/install-deps)\n");
        return 1;
    }
    TempFolder site("orvane-bench-site");
    std::ofstream(site.file("start.html")) << kPage;
    std::string pageUrl = "file://" + site.file("start.html");
    const Browser browsers[] = {{"orvaneexplorer", bin + "/orvaneexplorer", false},
                                {"surf", kSurf, true}};
    std::vector<Run> runs[2];
    for (int i = 1; i <= kRuns; ++i) {
        // Side by side: the two take turns, each starting first in every
        // other pair, so that a change in the machine's load hits both.
        for (int turn = 0; turn < 2; ++turn) {
            int b = (i + turn) % 2;
            auto run = runOnce(browsers[b], xvfb.name(), pageUrl);
            if (!run)
                return 1;
            std::printf(
                "run %2d %-14s: %.3f s to the caption, peak memory %.1f MB (%.1f MB with WebKit's "
                "processes)\n",
                i, browsers[b].name, run->seconds, run->browserKb / 1024.0, run->totalKb / 1024.0);
            runs[b].push_back(*run);
        }
    }
    double medians[2];
    for (int b = 0; b < 2; ++b) {
        std::vector<double> seconds;
        std::vector<long> browserKb, totalKb;
        for (const Run& run : runs[b]) {
            seconds.push_back(run.seconds);
            browserKb.push_back(run.browserKb);
            totalKb.push_back(run.totalKb);
        }
        auto [fastest, slowest] = std::minmax_element(seconds.begin(), seconds.end());
        medians[b] = median(seconds);
        std::printf(
            "browser-start: %s: %d runs, median %.3f s, spread %.3f .. %.3f s (%.3f s); peak "
            "memory of the browser process median %.1f MB, max %.1f MB; with WebKit's "
            "processes median %.1f MB\n",
            browsers[b].name, kRuns, medians[b], *fastest, *slowest, *slowest - *fastest,
            median(browserKb) / 1024.0,
            *std::max_element(browserKb.begin(), browserKb.end()) / 1024.0,
            median(totalKb) / 1024.0);
    }
    std::printf("browser-start: ratio of medians orvaneexplorer / surf = %.3f\n",
                medians[0] / medians[1]);
    return 0;
}
