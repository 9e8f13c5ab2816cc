#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "browser/app.h"
#include "browser/command_line.h"
#include "browser/gtk/gtk_desktop.h"
#include "browser/paths.h"
#include "browser/platform_world.h"
#include "platform/orvane_version.h"
#include "platform/user_folders.h"

namespace {
// SIGTERM and SIGINT close the frame as its close box does: a download
// that is running is cancelled and its partial file removed.
gboolean closeOnSignal(gpointer desktop) {
    static_cast<orvane::GtkDesktop*>(desktop)->RequestClose();
    return G_SOURCE_CONTINUE;
}

// --help and --version answer without a display.
std::optional<int> answerAboutItself(const std::vector<std::string>& arguments) {
    switch (orvane::RequestOf(arguments)) {
        case orvane::StartRequest::Help:
            std::fputs(orvane::kBrowserUsage, stdout);
            return 0;
        case orvane::StartRequest::Version:
            std::printf("orvaneexplorer %s\n", orvane::kOrvaneVersion);
            return 0;
        case orvane::StartRequest::Browse:
            break;
    }
    return std::nullopt;
}
}  // namespace

int main(int argc, char** argv) {
    if (auto status = answerAboutItself(std::vector<std::string>(argv + 1, argv + argc)))
        return *status;
    g_set_prgname("orvaneexplorer");
    gtk_init(&argc, &argv);
    // The windows' class is the desktop entry's StartupWMClass (gtk_init
    // sets its own from the program name).
    gdk_set_program_class("OrvaneExplorer");
    std::vector<std::string> arguments(argv + 1, argv + argc);
    orvane::PlatformWorld world;
    orvane::GtkDesktop desktop(orvane::GetProgramDirectory());
    orvane::CBrowserApp app(desktop, world, orvane::ProfileFile(orvane::browserSettingsPath()),
                            orvane::RegistryStore::fromEnvironment());
    guint terms = g_unix_signal_add(SIGTERM, closeOnSignal, &desktop);
    guint interrupts = g_unix_signal_add(SIGINT, closeOnSignal, &desktop);
    bool started = app.InitInstance(arguments);
    if (started)
        gtk_main();
    g_source_remove(terms);
    g_source_remove(interrupts);
    return started ? 0 : 1;
}
