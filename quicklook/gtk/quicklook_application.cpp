#include <memory>

#include "quicklook/gtk/quicklook_window.h"

namespace orvane::quicklook {

namespace {

constexpr char kApplicationId[] = "org.orvane.Quicklook";

struct Session {
    std::unique_ptr<QuicklookWindow> window;

    QuicklookWindow& windowOf(GtkApplication* application) {
        if (!window)
            window = std::make_unique<QuicklookWindow>(application);
        return *window;
    }
};

void onActivate(GtkApplication* application, gpointer data) {
    static_cast<Session*>(data)->windowOf(application).present();
}

// The files of this start, or of a later one that the session bus brought
// here: the running window shows them.
void onOpen(GtkApplication* application, GFile** files, gint count, const gchar*, gpointer data) {
    std::vector<std::string> paths;
    for (gint i = 0; i < count; ++i) {
        if (char* path = g_file_get_path(files[i])) {
            paths.emplace_back(path);
            g_free(path);
        }
    }
    QuicklookWindow& window = static_cast<Session*>(data)->windowOf(application);
    window.open(paths);
    window.present();
}

}  // namespace

int runQuicklookApplication(int argc, char** argv) {
    Session session;
    std::unique_ptr<GtkApplication, decltype(&g_object_unref)> application(
        gtk_application_new(kApplicationId, G_APPLICATION_HANDLES_OPEN), g_object_unref);
    g_signal_connect(application.get(), "activate", G_CALLBACK(onActivate), &session);
    g_signal_connect(application.get(), "open", G_CALLBACK(onOpen), &session);
    int status = g_application_run(G_APPLICATION(application.get()), argc, argv);
    session.window.reset();
    return status;
}

}  // namespace orvane::quicklook
