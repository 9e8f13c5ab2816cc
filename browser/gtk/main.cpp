#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "browser/app.h"
#include "browser/gtk/gtk_desktop.h"
#include "browser/platform_world.h"
#include "platform/user_folders.h"

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    orvane::PlatformWorld world;
    orvane::GtkDesktop desktop;
    orvane::CBrowserApp app(desktop, world, orvane::ProfileFile(orvane::browserSettingsPath()),
                            orvane::RegistryStore::fromEnvironment());
    if (!app.InitInstance(arguments)) return 1;
    gtk_main();
    return 0;
}
