#include "browser/gtk/gtk_downloads_window.h"

#include <string>

#include "browser/app.h"
#include "browser/gtk/gtk_log.h"

namespace orvane {

namespace {
constexpr char kEntryKey[] = "orvane-download";
constexpr char kTitle[] = "Downloads";
constexpr int kWidth = 640, kHeight = 360;

int entryOf(GtkButton* button) {
    return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), kEntryKey));
}

GtkWidget* label(bool expand) {
    GtkWidget* widget = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
    gtk_label_set_ellipsize(GTK_LABEL(widget), PANGO_ELLIPSIZE_MIDDLE);
    gtk_widget_set_hexpand(widget, expand);
    return widget;
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}
}  // namespace

GtkDownloadsWindow::GtkDownloadsWindow(DownloadList& list, GtkWindow* owner)
    : list_(list),
      window_(GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL))),
      rows_(gtk_list_box_new()),
      sizeColumn_(gtk_size_group_new(GTK_SIZE_GROUP_HORIZONTAL)),
      stateColumn_(gtk_size_group_new(GTK_SIZE_GROUP_HORIZONTAL)) {
    g_object_ref_sink(window_);
    gtk_window_set_title(window_, kTitle);
    gtk_window_set_transient_for(window_, owner);
    gtk_window_set_default_size(window_, kWidth, kHeight);
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(rows_), GTK_SELECTION_NONE);
    gtk_list_box_set_placeholder(GTK_LIST_BOX(rows_), gtk_label_new("No downloads yet"));
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    // The keyboard goes from button to button, never to the list itself.
    gtk_widget_set_can_focus(scrolled, FALSE);
    gtk_container_add(GTK_CONTAINER(scrolled), rows_);
    gtk_container_add(GTK_CONTAINER(window_), scrolled);
    // Closing only hides it: the list is the program's, not the window's.
    g_signal_connect(window_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
    onChange_ = std::make_shared<std::function<void()>>([this] { ScheduleRebuild(); });
    list_.SetObserver(onChange_);
}

GtkDownloadsWindow::~GtkDownloadsWindow() {
    // The list may be gone already (the application ends before its
    // windows): it is not touched here.
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
    g_object_unref(sizeColumn_);
    g_object_unref(stateColumn_);
}

void GtkDownloadsWindow::Present() {
    gtk_widget_show_all(GTK_WIDGET(window_));
    Rebuild();
    gtk_window_present(window_);
    // The newest download's button has the keyboard: Cancel while it runs,
    // else Open.
    if (!list_.entries().empty()) {
        const RowWidgets& newest = rowWidgets_.at(list_.entries().front().id);
        if (gtk_widget_get_visible(newest.cancel))
            gtk_widget_grab_focus(newest.cancel);
        else if (gtk_widget_get_sensitive(newest.open))
            gtk_widget_grab_focus(newest.open);
    }
}

// Progress comes many times a second: the rows are brought up to date once
// per turn of the main loop at most.
void GtkDownloadsWindow::ScheduleRebuild() {
    rebuild_.Schedule();
}

// The rows of the downloads already listed are updated in place, so that a
// button under the pointer stays the same widget while progress comes in;
// a new download makes the rows again.
void GtkDownloadsWindow::Rebuild() {
    std::vector<int> ids;
    for (const DownloadEntry& entry : list_.entries())
        ids.push_back(entry.id);
    if (ids != shownIds_) {
        GList* old = gtk_container_get_children(GTK_CONTAINER(rows_));
        for (GList* row = old; row; row = row->next)
            gtk_widget_destroy(GTK_WIDGET(row->data));
        g_list_free(old);
        rowWidgets_.clear();
        for (const DownloadEntry& entry : list_.entries()) {
            GtkWidget* row = RowFor(entry);
            gtk_container_add(GTK_CONTAINER(rows_), row);
            gtk_widget_set_can_focus(gtk_widget_get_parent(row), FALSE);
        }
        gtk_widget_show_all(rows_);
        shownIds_ = ids;
    }
    bool shown = gtk_widget_get_visible(GTK_WIDGET(window_));
    int index = 0;
    for (const DownloadEntry& entry : list_.entries()) {
        DownloadLine line = Refresh(entry);
        // What the rows say, for whoever reads the frame's log.
        if (shown)
            logFrame("download row " + std::to_string(index++) + " \"" + line.name + " | " +
                     line.size + " | " + line.state + "\"");
    }
}

DownloadLine GtkDownloadsWindow::Refresh(const DownloadEntry& entry) {
    DownloadLine line = DownloadList::LineOf(entry);
    const RowWidgets& row = rowWidgets_.at(entry.id);
    gtk_label_set_text(GTK_LABEL(row.name), line.name.c_str());
    gtk_label_set_text(GTK_LABEL(row.size), line.size.c_str());
    gtk_label_set_text(GTK_LABEL(row.state), line.state.c_str());
    bool done = entry.state == DownloadState::Done;
    gtk_widget_set_sensitive(row.open, done);
    gtk_widget_set_sensitive(row.folder, done || !entry.path.empty());
    gtk_widget_set_visible(row.cancel, entry.state == DownloadState::Running);
    return line;
}

GtkWidget* GtkDownloadsWindow::RowFor(const DownloadEntry& entry) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(row), 6);
    RowWidgets widgets{label(true),
                       label(false),
                       label(false),
                       Button("_Open", entry.id, G_CALLBACK(onOpen)),
                       Button("Show in _Folder", entry.id, G_CALLBACK(onShowInFolder)),
                       Button("_Cancel", entry.id, G_CALLBACK(onCancel))};
    gtk_label_set_xalign(GTK_LABEL(widgets.size), 1.0f);
    gtk_size_group_add_widget(sizeColumn_, widgets.size);
    gtk_size_group_add_widget(stateColumn_, widgets.state);
    // Shown only while the download runs.
    gtk_widget_set_no_show_all(widgets.cancel, TRUE);
    gtk_box_pack_start(GTK_BOX(row), widgets.name, TRUE, TRUE, 0);
    for (GtkWidget* part :
         {widgets.size, widgets.state, widgets.open, widgets.folder, widgets.cancel})
        gtk_box_pack_start(GTK_BOX(row), part, FALSE, FALSE, 0);
    rowWidgets_[entry.id] = widgets;
    return row;
}

GtkWidget* GtkDownloadsWindow::Button(const char* text, int id, GCallback onClicked) {
    GtkWidget* button = gtk_button_new_with_mnemonic(text);
    g_object_set_data(G_OBJECT(button), kEntryKey, GINT_TO_POINTER(id));
    g_signal_connect(button, "clicked", onClicked, this);
    return button;
}

void GtkDownloadsWindow::onOpen(GtkButton* button, gpointer self) {
    auto* window = static_cast<GtkDownloadsWindow*>(self);
    if (const DownloadEntry* entry = window->list_.Find(entryOf(button)))
        window->Launch(entry->path);
}

void GtkDownloadsWindow::onShowInFolder(GtkButton* button, gpointer self) {
    auto* window = static_cast<GtkDownloadsWindow*>(self);
    if (const DownloadEntry* entry = window->list_.Find(entryOf(button)))
        window->Launch(folderOf(entry->path));
}

void GtkDownloadsWindow::onCancel(GtkButton* button, gpointer self) {
    logFrame("download " + std::to_string(entryOf(button)) + " cancelled by the user");
    static_cast<GtkDownloadsWindow*>(self)->list_.Cancel(entryOf(button));
}

// The desktop's own program for the file or the folder.
void GtkDownloadsWindow::Launch(const std::string& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    GError* error = nullptr;
    bool launched = uri && g_app_info_launch_default_for_uri(uri, nullptr, &error);
    g_free(uri);
    logFrame((launched ? "opened " : "could not open ") + path);
    if (launched)
        return;
    GtkWidget* box = gtk_message_dialog_new(window_, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                            GTK_BUTTONS_OK, "%s could not be opened:\n%s",
                                            path.c_str(), error ? error->message : "no program");
    if (error)
        g_error_free(error);
    gtk_window_set_title(GTK_WINDOW(box), kAppTitle);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

}  // namespace orvane
