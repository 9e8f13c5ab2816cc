#include "browser/gtk/gtk_frame.h"

#include "browser/app.h"

namespace orvane {

namespace {
constexpr int kDefaultWidth = 1000;
constexpr int kDefaultHeight = 720;
}  // namespace

GtkFrame::GtkFrame(std::function<void()> onClose)
    : onClose_(std::move(onClose)),
      window_(GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL))),
      body_(GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0))) {
    g_object_ref_sink(window_);
    gtk_window_set_default_size(window_, kDefaultWidth, kDefaultHeight);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(body_));
    normal_ = {-1, -1, -1, -1, 0, 0, kDefaultWidth, kDefaultHeight};
    // A new document has no name until its page reports a title.
    SetDocumentTitle("Untitled");
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
    g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
}

GtkFrame::~GtkFrame() {
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
}

void GtkFrame::SetDocumentTitle(const std::string& title) {
    gtk_window_set_title(window_, (title + " - " + kAppTitle).c_str());
}

void GtkFrame::ApplyPlacement(const FramePlacement& placement) {
    // Always restored as a normal window, whatever state it was left in.
    gtk_window_unmaximize(window_);
    gtk_window_deiconify(window_);
    gtk_window_move(window_, placement.left, placement.top);
    gtk_window_resize(window_, placement.right - placement.left, placement.bottom - placement.top);
    normal_ = placement;
}

FramePlacement GtkFrame::CurrentPlacement() const { return normal_; }

void GtkFrame::BringToFront() {
    gtk_window_deiconify(window_);
    gtk_window_present(window_);
}

gboolean GtkFrame::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GtkFrame*>(self)->onClose_();
    return TRUE;  // the owner destroys the frame
}

gboolean GtkFrame::onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self) {
    auto* frame = static_cast<GtkFrame*>(self);
    // Only the normal window's geometry is kept, so a maximised window
    // comes back at its last normal rectangle.
    if (frame->maximized_ || frame->minimized_) return FALSE;
    int x = 0, y = 0, width = 0, height = 0;
    gtk_window_get_position(frame->window_, &x, &y);
    gtk_window_get_size(frame->window_, &width, &height);
    frame->normal_.left = x;
    frame->normal_.top = y;
    frame->normal_.right = x + width;
    frame->normal_.bottom = y + height;
    return FALSE;
}

gboolean GtkFrame::onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
    auto* frame = static_cast<GtkFrame*>(self);
    frame->maximized_ = event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED;
    frame->minimized_ = event->new_window_state & GDK_WINDOW_STATE_ICONIFIED;
    return FALSE;
}

}  // namespace orvane
