#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "browser/download_list.h"
#include "browser/gtk/idle_call.h"

namespace orvane {

// The Downloads window on GTK: one row per download of the list, newest
// first, with its name, size and state, and the buttons Open, Show in
// Folder and (while it runs) Cancel. It is not modal and never comes up by
// itself; closing it only hides it.
class GtkDownloadsWindow final : public DownloadsWindow {
  public:
    GtkDownloadsWindow(DownloadList& list, GtkWindow* owner);
    ~GtkDownloadsWindow() override;
    GtkDownloadsWindow(const GtkDownloadsWindow&) = delete;
    GtkDownloadsWindow& operator=(const GtkDownloadsWindow&) = delete;

    void Present() override;
    GtkWindow* window() { return window_; }

  private:
    void Rebuild();
    void ScheduleRebuild();
    GtkWidget* RowFor(const DownloadEntry& entry);
    DownloadLine Refresh(const DownloadEntry& entry);
    GtkWidget* Button(const char* label, int id, GCallback onClicked);
    static void onOpen(GtkButton* button, gpointer self);
    static void onShowInFolder(GtkButton* button, gpointer self);
    static void onCancel(GtkButton* button, gpointer self);
    void Launch(const std::string& path);

    DownloadList& list_;
    GtkWindow* window_;
    GtkWidget* rows_;
    IdleCall rebuild_{[this] { Rebuild(); }};
    struct RowWidgets {
        GtkWidget *name, *size, *state, *open, *folder, *cancel;
    };
    // The downloads the rows show, in their order, and each one's widgets.
    std::vector<int> shownIds_;
    std::map<int, RowWidgets> rowWidgets_;
    // What the list calls on a change; gone with the window.
    std::shared_ptr<std::function<void()>> onChange_;
    // The size and state texts of all rows line up in columns.
    GtkSizeGroup* sizeColumn_;
    GtkSizeGroup* stateColumn_;
};

}  // namespace orvane
