#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <string>
#include <vector>

#include "browser/app.h"
#include "browser/gtk/gtk_desktop.h"
#include "browser/platform_world.h"
#include "platform/user_folders.h"

namespace {
// SIGTERM and SIGINT close the frame as its close box does: a download
// that is running is cancelled and its partial file removed.
gboolean closeOnSignal(gpointer desktop) {
    static_cast<orvane::GtkDesktop*>(desktop)->RequestClose();
    return G_SOURCE_CONTINUE;
}
}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    orvane::PlatformWorld world;
    orvane::GtkDesktop desktop;
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
