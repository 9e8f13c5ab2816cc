#include "browser/gtk/gtk_frame.h"

#include "browser/app.h"
#include "browser/gtk/gtk_log.h"

namespace orvane {

using namespace resources;

namespace {
constexpr int kDefaultWidth = 1000;
constexpr int kDefaultHeight = 720;
}  // namespace

GtkFrameWindow::GtkFrameWindow(CMainFrame& logic, const Endpoints& endpoints)
    : logic_(logic),
      endpoints_(endpoints),
      window_(GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL))),
      layout_(GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0))),
      body_(GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0))),
      accelGroup_(gtk_accel_group_new()) {
    g_object_ref_sink(window_);
    gtk_window_set_default_size(window_, kDefaultWidth, kDefaultHeight);
    gtk_window_add_accel_group(window_, accelGroup_);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(layout_));
    gtk_box_pack_start(layout_, GTK_WIDGET(body_), TRUE, TRUE, 0);
    normal_ = {-1, -1, -1, -1, 0, 0, kDefaultWidth, kDefaultHeight};
    // A new document has no name until its page reports a title.
    SetCaption(std::string("Untitled - ") + kAppTitle);
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
    g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKeyPress), this);
}

void GtkFrameWindow::BuildBars() {
    BuildMenuBar();
    BuildToolbar();
    BuildAddressBand();
    // The body stays between the bars above it and the status and find
    // bars below it.
    gtk_box_reorder_child(layout_, GTK_WIDGET(body_), -1);
    BuildStatusBar();
    BuildFindBar();
}

GtkFrameWindow::~GtkFrameWindow() {
    if (addressBox_) {
        g_signal_handlers_disconnect_by_data(findEntry_, this);
        for (GtkWidget* widget : promptWidgets_)
            g_signal_handlers_disconnect_by_data(widget, &logic_);
        g_signal_handlers_disconnect_by_data(addressBox_, this);
        g_signal_handlers_disconnect_by_data(gtk_bin_get_child(GTK_BIN(addressBox_)), this);
    }
    g_signal_handlers_disconnect_by_data(gdk_keymap_get_for_display(gdk_display_get_default()),
                                         this);
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
    g_object_unref(accelGroup_);
}

void GtkFrameWindow::SetCaption(const std::string& caption) {
    gtk_window_set_title(window_, caption.c_str());
}

void GtkFrameWindow::ShowBar(int barId, bool visible) {
    GtkWidget* bar = barId == ID_VIEW_TOOLBAR ? toolbar_ : statusRow_;
    gtk_widget_set_visible(bar, visible);
    auto item = checkItems_.find(barId);
    if (item == checkItems_.end())
        return;
    g_signal_handlers_block_matched(item->second, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                    &logic_);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item->second), visible);
    g_signal_handlers_unblock_matched(item->second, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                      &logic_);
}

void GtkFrameWindow::DestroyWindow() {
    gtk_widget_hide(GTK_WIDGET(window_));
    if (gtk_main_level() > 0)
        gtk_main_quit();
}

void GtkFrameWindow::SetFullScreen(bool on) {
    if (on)
        gtk_window_fullscreen(window_);
    else
        gtk_window_unfullscreen(window_);
    logFrame(on ? "full screen" : "full screen left");
}

void GtkFrameWindow::OpenFolder(const std::string& folder) {
    // The desktop's handler for folders, as GIO knows it.
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(folder.c_str(), nullptr, &error);
    if (uri && !g_app_info_launch_default_for_uri(uri, nullptr, &error)) {
        logFrame("no file manager for " + folder + ": " + error->message);
    } else if (uri) {
        logFrame("folder opened: " + folder);
    }
    g_clear_error(&error);
    g_free(uri);
}

void GtkFrameWindow::SetInputEnabled(bool enabled) {
    gtk_widget_set_sensitive(GTK_WIDGET(layout_), enabled);
}

void GtkFrameWindow::ApplyPlacement(const FramePlacement& placement) {
    // Always restored as a normal window, whatever state it was left in.
    gtk_window_unmaximize(window_);
    gtk_window_deiconify(window_);
    gtk_window_move(window_, placement.left, placement.top);
    gtk_window_resize(window_, placement.right - placement.left, placement.bottom - placement.top);
    normal_ = placement;
}

FramePlacement GtkFrameWindow::CurrentPlacement() const {
    return normal_;
}

void GtkFrameWindow::BringToFront() {
    gtk_window_deiconify(window_);
    gtk_window_present(window_);
}

gboolean GtkFrameWindow::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GtkFrameWindow*>(self)->logic_.OnClose();
    return TRUE;  // the desktop destroys the frame when the program ends
}

gboolean GtkFrameWindow::onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self) {
    auto* frame = static_cast<GtkFrameWindow*>(self);
    // Only the normal window's geometry is kept, so a maximised window
    // comes back at its last normal rectangle.
    if (frame->maximized_ || frame->minimized_)
        return FALSE;
    int x = 0, y = 0, width = 0, height = 0;
    gtk_window_get_position(frame->window_, &x, &y);
    gtk_window_get_size(frame->window_, &width, &height);
    frame->normal_.left = x;
    frame->normal_.top = y;
    frame->normal_.right = x + width;
    frame->normal_.bottom = y + height;
    return FALSE;
}

gboolean GtkFrameWindow::onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
    auto* frame = static_cast<GtkFrameWindow*>(self);
    frame->maximized_ = event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED;
    frame->minimized_ = event->new_window_state & GDK_WINDOW_STATE_ICONIFIED;
    // Full screen left by the window manager's own means: F11 and Esc
    // then know it.
    bool fullScreen = event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN;
    if (fullScreen != frame->fullScreen_) {
        frame->fullScreen_ = fullScreen;
        frame->logic_.OnFullScreenChanged(fullScreen);
        logFrame(fullScreen ? "window on the whole screen" : "window back from the whole screen");
    }
    return FALSE;
}

namespace {
// The keys that move in or delete text, with or without Shift or Ctrl.
bool isTextEditingKey(const GdkEventKey* event) {
    if (event->state & GDK_MOD1_MASK)
        return false;
    switch (event->keyval) {
        case GDK_KEY_Home:
        case GDK_KEY_End:
        case GDK_KEY_Left:
        case GDK_KEY_Right:
        case GDK_KEY_Up:
        case GDK_KEY_Down:
        case GDK_KEY_KP_Home:
        case GDK_KEY_KP_End:
        case GDK_KEY_KP_Left:
        case GDK_KEY_KP_Right:
        case GDK_KEY_KP_Up:
        case GDK_KEY_KP_Down:
        case GDK_KEY_BackSpace:
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            return true;
        default:
            return false;
    }
}
}  // namespace

bool GtkFrameWindow::FocusIsEditingText() const {
    GtkWidget* focus = gtk_window_get_focus(window_);
    return focus && focus == page_ && pageEditingText_ && pageEditingText_();
}

gboolean GtkFrameWindow::onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    auto* frame = static_cast<GtkFrameWindow*>(self);
    if (frame->HandleFrameKey(event))
        return TRUE;
    // While the address box or the find bar is being edited, its own keys
    // (Home moves the cursor) come before the accelerators; keys it does not
    // use, and any key with Ctrl or Alt, still reach the accelerators.
    GtkWidget* focus = gtk_window_get_focus(frame->window_);
    bool plainKey = !(event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK));
    if (plainKey && focus && GTK_IS_ENTRY(focus))
        return gtk_window_propagate_key_event(frame->window_, event);
    // The same for a text field of the page. The web view takes every key at
    // once and hands back, through here a second time, one that the page did
    // not use: only then do the accelerators get it, and it goes no further.
    if (isTextEditingKey(event) && frame->FocusIsEditingText()) {
        if (!gtk_window_propagate_key_event(frame->window_, event))
            gtk_window_activate_key(frame->window_, event);
        return TRUE;
    }
    return FALSE;
}

// The frame's own keys, before any accelerator: F6, Alt+D and Ctrl+L go to
// the address box (F6 there goes back to the page); Esc may leave full
// screen; in the find bar, Esc closes it and Shift+Enter finds the previous
// place.
bool GtkFrameWindow::HandleFrameKey(GdkEventKey* event) {
    auto modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    GtkWidget* focus = gtk_window_get_focus(window_);
    GtkWidget* addressEntry = gtk_bin_get_child(GTK_BIN(addressBox_));
    if (event->keyval == GDK_KEY_F6 && modifiers == 0) {
        if (focus == addressEntry)
            FocusPage();
        else
            FocusAddressBox();
        return true;
    }
    bool altD =
        (event->keyval == GDK_KEY_d || event->keyval == GDK_KEY_D) && modifiers == GDK_MOD1_MASK;
    bool ctrlL =
        (event->keyval == GDK_KEY_l || event->keyval == GDK_KEY_L) && modifiers == GDK_CONTROL_MASK;
    if (altD || ctrlL) {
        FocusAddressBox();
        return true;
    }
    // Esc leaves full screen unless the find bar or a text field of the
    // page has it, or a page is loading (Stop).
    bool escape = event->keyval == GDK_KEY_Escape && modifiers == 0;
    if (escape && focus != GTK_WIDGET(findEntry_) && !FocusIsEditingText() && logic_.OnEscape())
        return true;
    if (focus != GTK_WIDGET(findEntry_))
        return false;
    if (event->keyval == GDK_KEY_Escape) {
        logic_.findInPage().Close();
        return true;
    }
    bool enter = event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter;
    if (enter && modifiers == GDK_SHIFT_MASK) {
        logic_.findInPage().Previous();
        return true;
    }
    return false;
}

void GtkFrameWindow::SetPage(GtkWidget* page, std::function<bool()> editingText) {
    page_ = page;
    pageEditingText_ = std::move(editingText);
}

void GtkFrameWindow::FocusPage() {
    if (page_)
        gtk_widget_grab_focus(page_);
}

void GtkFrameWindow::FocusAddressBox() {
    GtkWidget* entry = gtk_bin_get_child(GTK_BIN(addressBox_));
    gtk_widget_grab_focus(entry);
    gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
}

}  // namespace orvane
