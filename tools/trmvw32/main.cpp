// Stand-in for the Tremora viewer: a window titled "Tremora - NAME", the DDE
// service "trmvw32" with topic "System" and the command [open("PATH")], and
// a log of every file it is given ($TREMORA_STANDIN_LOG, one line each).
//
//   trmvw32.exe [--max-seconds N] [--] [FILE...]
//
// Each FILE is opened as if it had been sent by DDE. The program ends when
// its window is closed, on SIGTERM or SIGINT, or after N seconds.

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dde/dde_server.h"
#include "tools/trmvw32/open_command.h"
#include "tools/trmvw32/standin_viewer.h"

namespace {

constexpr int kExitNormal = 0;
constexpr int kExitNoDisplay = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxSecondsLimit = 24 * 3600;

struct Arguments {
    std::vector<std::string> files;
    int maxSeconds = 0;  // 0: no limit
};

std::optional<int> parseSeconds(const std::string& text) {
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    int seconds = std::stoi(text);
    if (seconds < 1 || seconds > kMaxSecondsLimit)
        return std::nullopt;
    return seconds;
}

std::optional<Arguments> parseArguments(int argc, char** argv) {
    Arguments arguments;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--max-seconds") {
            auto seconds = i + 1 < argc ? parseSeconds(argv[++i]) : std::nullopt;
            if (!seconds)
                return std::nullopt;
            arguments.maxSeconds = *seconds;
        } else {
            arguments.files.push_back(argument);
        }
    }
    return arguments;
}

// Keeps its source, so that every source can be removed once at the end.
gboolean quitLoop(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;
}

std::string logPathFromEnvironment() {
    const char* path = std::getenv("TREMORA_STANDIN_LOG");
    return path ? path : "";
}

std::unique_ptr<orvane::DdeServer> serveDde(orvane::StandinViewer& viewer) {
    std::string error;
    auto server = orvane::DdeServer::start(
        "trmvw32", "System",
        [&viewer](const std::string&, const std::string& command) {
            auto path = orvane::parseViewerOpenCommand(command);
            if (path)
                viewer.openFile(*path);
            return path.has_value();
        },
        error);
    // Without its DDE service the viewer still shows files given on its
    // command line, as a viewer that offers no conversation would.
    if (!server)
        std::fprintf(stderr, "trmvw32.exe: no DDE service: %s\n", error.c_str());
    return server;
}

}  // namespace

int main(int argc, char** argv) {
    auto arguments = parseArguments(argc, argv);
    if (!arguments) {
        std::fputs("usage: trmvw32.exe [--max-seconds N] [--] [FILE...]\n", stderr);
        return kExitUsage;
    }
    // GTK is not given the arguments: every one of them is a file.
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fputs("trmvw32.exe: cannot open the display\n", stderr);
        return kExitNoDisplay;
    }
    std::unique_ptr<GMainLoop, decltype(&g_main_loop_unref)> loop(g_main_loop_new(nullptr, FALSE),
                                                                  g_main_loop_unref);
    // The way to end comes first: a SIGTERM that arrives as soon as the
    // window shows must end the loop, not the process.
    guint terminate = g_unix_signal_add(SIGTERM, quitLoop, loop.get());
    guint interrupt = g_unix_signal_add(SIGINT, quitLoop, loop.get());
    orvane::StandinViewer viewer(logPathFromEnvironment(), [&] { g_main_loop_quit(loop.get()); });
    for (const std::string& file : arguments->files)
        viewer.openFile(file);
    auto server = serveDde(viewer);
    guint limit =
        arguments->maxSeconds > 0
            ? g_timeout_add_seconds(static_cast<guint>(arguments->maxSeconds), quitLoop, loop.get())
            : 0;
    g_main_loop_run(loop.get());
    for (guint source : {terminate, interrupt, limit}) {
        if (source != 0)
            g_source_remove(source);
    }
    return kExitNormal;
}
