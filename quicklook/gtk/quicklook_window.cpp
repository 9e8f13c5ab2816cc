#include "quicklook/gtk/quicklook_window.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace orvane::quicklook {

namespace {

constexpr double kZoomStep = 0.8;
// Each drawing of the traces is logged at debug level in this domain
// (printed when G_MESSAGES_DEBUG names it): the benchmark and the tests
// see when the window has drawn what it was given.
constexpr char kLogDomain[] = "OrvaneQuicklook";
constexpr double kRangeMinPixels = 4;

std::string describeOpened(const Loaded& loaded) {
    std::string text;
    for (const auto& trace : loaded.traces.traces())
        text += (text.empty() ? "" : ", ") + trace.id;
    return text.empty() ? std::string("No traces to show") : text;
}

}  // namespace

QuicklookWindow::QuicklookWindow(GtkApplication* application) {
    build(application);
    connectSignals();
    open({});
}

void QuicklookWindow::build(GtkApplication* application) {
    window_ = gtk_application_window_new(application);
    gtk_window_set_default_size(GTK_WINDOW(window_), 1100, 700);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(box), buildMenuBar(), FALSE, FALSE, 0);
    area_ = gtk_drawing_area_new();
    gtk_widget_set_can_focus(area_, TRUE);
    gtk_widget_add_events(area_, GDK_SCROLL_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                     GDK_POINTER_MOTION_MASK);
    gtk_box_pack_start(GTK_BOX(box), area_, TRUE, TRUE, 0);
    status_ = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(status_), 0);
    gtk_widget_set_margin_start(status_, 6);
    gtk_widget_set_margin_top(status_, 2);
    gtk_widget_set_margin_bottom(status_, 2);
    gtk_box_pack_start(GTK_BOX(box), status_, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), box);
    gtk_drag_dest_set(area_, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
    gtk_drag_dest_add_uri_targets(area_);
}

GtkWidget* QuicklookWindow::buildMenuBar() {
    GtkWidget* bar = gtk_menu_bar_new();
    GtkWidget* fileItem = gtk_menu_item_new_with_mnemonic("_File");
    GtkWidget* menu = gtk_menu_new();
    GtkAccelGroup* accelerators = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(window_), accelerators);
    GtkWidget* openItem = gtk_menu_item_new_with_mnemonic("_Open...");
    gtk_widget_add_accelerator(openItem, "activate", accelerators, GDK_KEY_o, GDK_CONTROL_MASK,
                               GTK_ACCEL_VISIBLE);
    g_signal_connect_swapped(openItem, "activate", G_CALLBACK(+[](gpointer self) {
                                 static_cast<QuicklookWindow*>(self)->chooseFiles();
                             }),
                             this);
    GtkWidget* quitItem = gtk_menu_item_new_with_mnemonic("_Quit");
    gtk_widget_add_accelerator(quitItem, "activate", accelerators, GDK_KEY_q, GDK_CONTROL_MASK,
                               GTK_ACCEL_VISIBLE);
    g_signal_connect_swapped(quitItem, "activate", G_CALLBACK(gtk_widget_destroy), window_);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), openItem);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), quitItem);
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(fileItem), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), fileItem);
    return bar;
}

void QuicklookWindow::connectSignals() {
    g_signal_connect(area_, "draw", G_CALLBACK(onDraw), this);
    g_signal_connect(area_, "scroll-event", G_CALLBACK(onScroll), this);
    g_signal_connect(area_, "button-press-event", G_CALLBACK(onPress), this);
    g_signal_connect(area_, "button-release-event", G_CALLBACK(onRelease), this);
    g_signal_connect(area_, "motion-notify-event", G_CALLBACK(onMotion), this);
    g_signal_connect(area_, "drag-data-received", G_CALLBACK(onDrop), this);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKey), this);
}

void QuicklookWindow::open(const std::vector<std::string>& paths) {
    paths_ = paths;
    loaded_ = loadFiles(paths);
    gtk_window_set_title(GTK_WINDOW(window_), windowTitle(paths).c_str());
    showAll();
    if (paths.empty())
        showStatus("Open a SEED or miniSEED file with File / Open, or drop one here");
    else
        showStatus(describeOpened(loaded_));
}

void QuicklookWindow::present() {
    gtk_widget_show_all(window_);
    gtk_window_present(GTK_WINDOW(window_));
}

void QuicklookWindow::showAll() {
    setView(wholeWindow(loaded_.traces));
}

void QuicklookWindow::setView(const TimeWindow& view) {
    view_ = view;
    gtk_widget_queue_draw(area_);
}

void QuicklookWindow::showStatus(const std::string& text) {
    gtk_label_set_text(GTK_LABEL(status_), text.c_str());
    g_log(kLogDomain, G_LOG_LEVEL_DEBUG, "status: %s", text.c_str());
}

void QuicklookWindow::chooseFiles() {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        "Open", GTK_WINDOW(window_), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel", GTK_RESPONSE_CANCEL,
        "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(dialog), TRUE);
    std::vector<std::string> chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        GSList* names = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
        for (GSList* name = names; name; name = name->next)
            chosen.emplace_back(static_cast<char*>(name->data));
        g_slist_free_full(names, g_free);
    }
    gtk_widget_destroy(dialog);
    if (!chosen.empty())
        open(chosen);
}

gboolean QuicklookWindow::onDraw(GtkWidget* widget, cairo_t* cairo, gpointer data) {
    auto* self = static_cast<QuicklookWindow*>(data);
    auto start = std::chrono::steady_clock::now();
    int width = gtk_widget_get_allocated_width(widget);
    int height = gtk_widget_get_allocated_height(widget);
    self->frame_ = computeFrame(self->loaded_.traces, self->view_, width, height);
    self->frame_.notes = self->paths_.empty()
                             ? std::vector<std::string>{"No file open: use File / Open"}
                             : describeFiles(self->loaded_);
    drawFrame(cairo, self->frame_);
    if (self->drag_ == Drag::Range) {
        double from = std::min(self->dragStartX_, self->dragNowX_);
        cairo_set_source_rgba(cairo, 0.9, 0.5, 0.1, 0.25);
        cairo_rectangle(cairo, from, 0, std::fabs(self->dragNowX_ - self->dragStartX_),
                        self->frame_.axisTop);
        cairo_fill(cairo);
    }
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    g_log(kLogDomain, G_LOG_LEVEL_DEBUG, "drawn: %zu traces, %dx%d, from %s for %.3f s, %.2f ms",
          self->frame_.bands.size(), width, height, utcTimestamp(self->view_.start).c_str(),
          self->view_.length(), took.count());
    return TRUE;
}

gboolean QuicklookWindow::onScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
    auto* self = static_cast<QuicklookWindow*>(data);
    double factor = 1;
    if (event->direction == GDK_SCROLL_UP)
        factor = kZoomStep;
    else if (event->direction == GDK_SCROLL_DOWN)
        factor = 1 / kZoomStep;
    else if (event->direction == GDK_SCROLL_SMOOTH)
        factor = std::pow(kZoomStep, -event->delta_y);
    if (factor != 1)
        self->setView(zoomedAbout(self->view_, self->frame_.secondsAt(event->x), factor));
    return TRUE;
}

gboolean QuicklookWindow::onPress(GtkWidget* widget, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<QuicklookWindow*>(data);
    gtk_widget_grab_focus(widget);
    if (event->type != GDK_BUTTON_PRESS)
        return FALSE;
    bool range = event->button == 3 || (event->button == 1 && (event->state & GDK_SHIFT_MASK));
    self->drag_ = range ? Drag::Range : event->button == 1 ? Drag::Pan : Drag::None;
    self->dragStartX_ = self->dragNowX_ = event->x;
    self->dragStartView_ = self->view_;
    return TRUE;
}

gboolean QuicklookWindow::onRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<QuicklookWindow*>(data);
    if (self->drag_ == Drag::Range && std::fabs(event->x - self->dragStartX_) >= kRangeMinPixels) {
        auto range = windowBetween(self->frame_.secondsAt(self->dragStartX_),
                                   self->frame_.secondsAt(event->x));
        if (range)
            self->view_ = *range;
    }
    self->drag_ = Drag::None;
    gtk_widget_queue_draw(self->area_);
    return TRUE;
}

gboolean QuicklookWindow::onMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* self = static_cast<QuicklookWindow*>(data);
    self->dragNowX_ = event->x;
    if (self->drag_ == Drag::Pan) {
        double shift = (event->x - self->dragStartX_) * self->dragStartView_.length() /
                       std::max(self->frame_.width, 1);
        self->setView({self->dragStartView_.start - shift, self->dragStartView_.end - shift});
    } else if (self->drag_ == Drag::Range) {
        gtk_widget_queue_draw(self->area_);
    }
    if (!self->loaded_.traces.empty())
        self->showStatus(describePointer(readPointer(self->frame_, event->x, event->y)));
    return TRUE;
}

gboolean QuicklookWindow::onKey(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto* self = static_cast<QuicklookWindow*>(data);
    if (event->keyval != GDK_KEY_Home)
        return FALSE;
    self->showAll();
    return TRUE;
}

void QuicklookWindow::onDrop(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* data, guint,
                             guint, gpointer self) {
    gchar** uris = gtk_selection_data_get_uris(data);
    std::vector<std::string> paths;
    for (gchar** uri = uris; uri && *uri; ++uri) {
        if (gchar* path = g_filename_from_uri(*uri, nullptr, nullptr)) {
            paths.emplace_back(path);
            g_free(path);
        }
    }
    g_strfreev(uris);
    if (!paths.empty())
        static_cast<QuicklookWindow*>(self)->open(paths);
}

}  // namespace orvane::quicklook
