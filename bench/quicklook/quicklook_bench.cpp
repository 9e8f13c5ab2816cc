// A day of a three-component station at 100 Hz (25.9 million samples,
// Steim-2 in 4096-byte records), made up here, then:
//   - the floor: libmseed alone reading and decoding every record of the
//     file, keeping nothing (a process of its own: time and peak memory);
//   - open to drawn: `orvane-quicklook --png` reading the file, merging,
//     summarising and drawing it at 1200x800 (a process: time, peak memory);
//   - open to a drawn window: `orvane-quicklook FILE` on a private Xvfb
//     display, from its start to its log line of the first drawing with
//     the traces;
//   - zoom redraws: the picture worked out and drawn again for 60 time
//     windows from the whole day down to a second (in this process).
// Prints each run, the medians, and the ratios to the floor.
#include <cairo.h>
#include <libmseed.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "quicklook/plot.h"
#include "quicklook/quicklook_files.h"
#include "tools/synthetic_event/synthetic_event.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"
#include "tools/testkit/wait_until.h"
#include "tools/testkit/xvfb_display.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace orvane::quicklook;

constexpr int kRuns = 5;
constexpr int kZooms = 60;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The floor: every record read and decoded by libmseed, nothing kept.
int decodeOnly(const char* path) {
    MSRecord* record = nullptr;
    MSFileParam* file = nullptr;
    long long samples = 0;
    while (ms_readmsr_r(&file, &record, path, 0, nullptr, nullptr, 1, 1, 0) == MS_NOERROR)
        samples += record->numsamples;
    ms_readmsr_r(&file, &record, nullptr, 0, nullptr, nullptr, 0, 0, 0);
    std::printf("%lld\n", samples);
    return samples > 0 ? 0 : 1;
}

struct ChildRun {
    double seconds = 0;
    long peakKb = 0;
    int status = -1;
};

ChildRun runChild(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const auto& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout))
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {secondsSince(start), usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

void writeDay(const std::string& path) {
    SyntheticEvent day;
    day.seconds = 86400;
    day.pArrival = 43200;
    day.sArrival = 43212;
    std::ofstream(path, std::ios::binary) << eventRecords(day, 4096, DE_STEIM2);
}

struct Series {
    std::vector<double> seconds;
    std::vector<double> peakMb;
};

Series repeat(const char* name, const std::vector<std::string>& command) {
    Series series;
    for (int run = 0; run < kRuns; ++run) {
        ChildRun result = runChild(command);
        if (result.status != 0)
            std::fprintf(stderr, "%s ended with %d\n", name, result.status);
        series.seconds.push_back(result.seconds);
        series.peakMb.push_back(result.peakKb / 1024.0);
        std::printf("  %-12s run %d: %7.3f s  peak %7.1f MB\n", name, run + 1, result.seconds,
                    result.peakKb / 1024.0);
    }
    return series;
}

// Zoom redraws at windows from the whole file to about a second, about
// places spread over the day; the redraw is the frame worked out and drawn.
std::vector<double> zoomRedraws(const Loaded& loaded) {
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1200, 800), cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cairo(cairo_create(surface.get()),
                                                             cairo_destroy);
    TimeWindow whole = wholeWindow(loaded.traces);
    std::vector<double> milliseconds;
    TimeWindow view = whole;
    for (int step = 0; step < kZooms; ++step) {
        double around = whole.start + whole.length() * (0.1 + 0.8 * ((step * 37) % 60) / 60.0);
        view = step % 15 == 0 ? whole : zoomedAbout(view, around, 0.5);
        auto start = Clock::now();
        PlotFrame frame = computeFrame(loaded.traces, view, 1200, 800);
        drawFrame(cairo.get(), frame);
        cairo_surface_flush(surface.get());
        milliseconds.push_back(secondsSince(start) * 1000);
    }
    return milliseconds;
}

// Seconds from the window's start to its first drawing of the traces. No
// session bus: each start is a window of its own, never one already open.
std::vector<double> windowOpens(const std::string& bin, const std::string& file,
                                const orvane::testkit::TempFolder& folder) {
    orvane::testkit::XvfbDisplay display;
    std::vector<double> seconds;
    for (int run = 0; run < kRuns && display.running(); ++run) {
        std::string log = folder / ("window" + std::to_string(run) + ".out");
        auto start = Clock::now();
        orvane::testkit::ChildProcess window(bin + "/orvane-quicklook", {file},
                                             {{"DISPLAY", display.name()},
                                              {"G_MESSAGES_DEBUG", "OrvaneQuicklook"},
                                              {"DBUS_SESSION_BUS_ADDRESS", ""},
                                              {"XDG_RUNTIME_DIR", folder.path()},
                                              {"NO_AT_BRIDGE", "1"}},
                                             folder / "window.err",
                                             {.stdoutFile = log, .workingFolder = {}});
        bool drawn = orvane::testkit::waitUntil(
            [&] {
                return orvane::testkit::readFileText(log).find("drawn: 3 traces") !=
                       std::string::npos;
            },
            30000);
        seconds.push_back(drawn ? secondsSince(start) : -1);
        std::printf("  %-12s run %d: %7.3f s\n", "window", run + 1, seconds.back());
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--decode-only")
        return decodeOnly(argv[2]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quicklook-bench BIN_FOLDER\n");
        return 2;
    }
    std::string bin = argv[1];
    orvane::testkit::TempFolder folder;
    std::string file = folder / "day.mseed";
    writeDay(file);
    std::ifstream sized(file, std::ios::binary | std::ios::ate);
    double fileMb = static_cast<double>(sized.tellg()) / 1048576.0;
    // The programs measured first, while this process is small: a child's
    // peak memory counts this process's at the fork.
    std::string self = "/proc/self/exe";
    char own[4096];
    ssize_t length = readlink(self.c_str(), own, sizeof own - 1);
    own[length > 0 ? length : 0] = '\0';
    Series floor = repeat("decode only", {own, "--decode-only", file});
    Series open = repeat("open to PNG", {bin + "/orvane-quicklook", "--png", folder / "day.png",
                                         "--size", "1200x800", file});
    auto windows = windowOpens(bin, file, folder);

    Loaded loaded = loadFiles({file});
    size_t samples = 0;
    for (const auto& trace : loaded.traces.traces())
        samples += trace.sampleCount();
    double decodedMb = samples * 4.0 / 1048576.0;
    std::printf(
        "a day of 3 x 100 Hz, Steim-2 in 4096-byte records: %zu samples, file %.1f MB, "
        "decoded %.1f MB (int32)\n",
        samples, fileMb, decodedMb);
    auto zooms = zoomRedraws(loaded);

    double floorSeconds = median(floor.seconds), openSeconds = median(open.seconds);
    std::printf("\nlibmseed decoding alone (floor): %.3f s, peak %.1f MB\n", floorSeconds,
                median(floor.peakMb));
    std::printf(
        "open to drawn (--png 1200x800):  %.3f s, peak %.1f MB  (%.2fx the floor's "
        "time; peak %.2fx the decoded samples)\n",
        openSeconds, median(open.peakMb), openSeconds / floorSeconds,
        median(open.peakMb) / decodedMb);
    std::printf("open to a drawn window (Xvfb):   %.3f s  (%.2fx the floor's time)\n",
                median(windows), median(windows) / floorSeconds);
    std::printf(
        "zoom redraw at 1200x800:         median %.2f ms, slowest %.2f ms over %d "
        "windows\n",
        median(zooms), *std::max_element(zooms.begin(), zooms.end()), kZooms);
    return 0;
}
