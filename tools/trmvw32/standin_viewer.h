#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace orvane {

// The stand-in viewer's window. Its title marks it as a running viewer,
// "Tremora - " and the name of the file shown (just "Tremora - " before any
// file), and every file it is given is appended as one line to the log.
class StandinViewer {
  public:
    // logPath: the log file, or empty for none. onClosed runs when the user
    // closes the window.
    StandinViewer(std::string logPath, std::function<void()> onClosed);
    ~StandinViewer();
    StandinViewer(const StandinViewer&) = delete;
    StandinViewer& operator=(const StandinViewer&) = delete;

    // Shows the file (its name in the title, its path in the window), logs
    // it and brings the window forward.
    void openFile(const std::string& path);

  private:
    static void onDestroy(GtkWidget*, gpointer self);
    void appendToLog(const std::string& path) const;

    std::string logPath_;
    std::function<void()> onClosed_;
    GtkWidget* window_ = nullptr;
    GtkWidget* label_ = nullptr;
    int filesShown_ = 0;
};

}  // namespace orvane
