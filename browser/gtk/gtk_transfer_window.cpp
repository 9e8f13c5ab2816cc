#include "browser/gtk/gtk_transfer_window.h"

#include <algorithm>

namespace orvane {

using namespace transfer_control;

namespace {
// Dialog units of the template's 8-point font, in pixels.
constexpr double kPixelsPerDluX = 1.5;
constexpr double kPixelsPerDluY = 1.625;
constexpr int kTemplateWidthDlu = 247;
constexpr int kGroupBoxId[] = {263, 264};

int pixelsX(int dlu) {
    return static_cast<int>(dlu * kPixelsPerDluX);
}

GtkWidget* groupBox(int id, const char* title) {
    GtkWidget* box = gtk_frame_new(title);
    gtk_widget_set_name(box, std::to_string(id).c_str());
    return box;
}

GtkWidget* rightAligned(const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 1.0f);
    return label;
}

GtkGrid* rowsGrid() {
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 8);
    return GTK_GRID(grid);
}
}  // namespace

GtkTransferWindow::GtkTransferWindow(GtkWindow* owner, std::function<void()> onCancel)
    : onCancel_(std::move(onCancel)), owner_(owner) {}

GtkTransferWindow::~GtkTransferWindow() {
    if (!window_)
        return;
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
    g_object_unref(group_);
}

void GtkTransferWindow::Open() {
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    g_object_ref_sink(window_);
    gtk_window_set_title(window_, "FTP Transfer Status");
    gtk_window_set_type_hint(window_, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_resizable(window_, FALSE);
    gtk_window_set_default_size(window_, pixelsX(kTemplateWidthDlu), -1);
    gtk_window_set_transient_for(window_, owner_);
    gtk_window_set_position(window_, GTK_WIN_POS_CENTER_ON_PARENT);
    // Modal in its own window group: the frame stays disabled by its owner
    // but its close box still reaches it, so closing the program during a
    // download cancels the download instead of being ignored.
    group_ = gtk_window_group_new();
    gtk_window_group_add_window(group_, window_);
    gtk_window_set_modal(window_, TRUE);
    GtkWidget* layout = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_container_set_border_width(GTK_CONTAINER(layout), 8);
    gtk_box_pack_start(GTK_BOX(layout), BuildConnectionBox(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(layout), BuildLocalFileBox(), FALSE, FALSE, 0);
    GtkWidget* cancel = gtk_button_new_with_mnemonic("_Cancel");
    gtk_widget_set_name(cancel, std::to_string(kCancel).c_str());
    gtk_widget_set_halign(cancel, GTK_ALIGN_CENTER);
    gtk_widget_set_size_request(cancel, pixelsX(67), -1);
    g_signal_connect(cancel, "clicked", G_CALLBACK(onCancelClicked), this);
    gtk_box_pack_start(GTK_BOX(layout), cancel, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), layout);
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKey), this);
    gtk_widget_show_all(GTK_WIDGET(window_));
    gtk_widget_grab_focus(cancel);
    gtk_window_present(window_);
}

GtkWidget* GtkTransferWindow::BuildConnectionBox() {
    GtkGrid* grid = rowsGrid();
    AddRow(grid, 0, "Host:", SunkenText(kHost, "", 183));
    AddRow(grid, 1, "File:", SunkenText(kRemotePath, "", 183));
    AddRow(grid, 2, "Status:", SunkenText(kStatus, " ", 104));
    AddRow(grid, 3, "Received:", SunkenText(kReceived, " ", 104));
    GtkWidget* bar = gtk_progress_bar_new();
    progress_ = GTK_PROGRESS_BAR(bar);
    gtk_widget_set_name(bar, std::to_string(kProgress).c_str());
    gtk_widget_set_size_request(bar, pixelsX(149), -1);
    gtk_widget_set_valign(bar, GTK_ALIGN_CENTER);
    GtkWidget* percent = gtk_label_new("");
    gtk_widget_set_name(percent, std::to_string(kPercent).c_str());
    gtk_widget_set_size_request(percent, pixelsX(24), -1);
    texts_[kPercent] = GTK_LABEL(percent);
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_pack_start(GTK_BOX(row), bar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), percent, FALSE, FALSE, 0);
    gtk_grid_attach(grid, row, 1, 4, 1, 1);
    GtkWidget* box = groupBox(kGroupBoxId[0], "Connection Information:");
    gtk_container_add(GTK_CONTAINER(box), GTK_WIDGET(grid));
    return box;
}

GtkWidget* GtkTransferWindow::BuildLocalFileBox() {
    GtkGrid* grid = rowsGrid();
    AddRow(grid, 0, "File Name:", SunkenText(kFileName, " ", 183));
    AddRow(grid, 1, "Directory:", SunkenText(kDirectory, " ", 183));
    GtkWidget* box = groupBox(kGroupBoxId[1], "Local File Information:");
    gtk_container_add(GTK_CONTAINER(box), GTK_WIDGET(grid));
    return box;
}

GtkWidget* GtkTransferWindow::SunkenText(int id, const char* initial, int widthDlu) {
    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
    GtkWidget* label = gtk_label_new(initial);
    gtk_widget_set_name(label, std::to_string(id).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    gtk_widget_set_margin_start(label, 3);
    gtk_widget_set_margin_end(label, 3);
    gtk_widget_set_size_request(frame, pixelsX(widthDlu), -1);
    gtk_widget_set_halign(frame, GTK_ALIGN_START);
    gtk_container_add(GTK_CONTAINER(frame), label);
    texts_[id] = GTK_LABEL(label);
    return frame;
}

void GtkTransferWindow::AddRow(GtkGrid* grid, int row, const char* label, GtkWidget* value) {
    gtk_grid_attach(grid, rightAligned(label), 0, row, 1, 1);
    gtk_grid_attach(grid, value, 1, row, 1, 1);
}

void GtkTransferWindow::SetText(int controlId, const std::string& text) {
    // Every text the dialog shows goes to GLib's debug log as well, which
    // prints it when G_MESSAGES_DEBUG names the domain: the record of what a
    // user saw, for a bug report or a test.
    g_log("OrvaneDialog", G_LOG_LEVEL_DEBUG, "%d %s", controlId, text.c_str());
    auto found = texts_.find(controlId);
    if (found != texts_.end())
        gtk_label_set_text(found->second, text.c_str());
}

std::string GtkTransferWindow::text(int controlId) const {
    auto found = texts_.find(controlId);
    return found == texts_.end() ? std::string() : gtk_label_get_text(found->second);
}

void GtkTransferWindow::SetTitle(const std::string& title) {
    if (window_)
        gtk_window_set_title(window_, title.c_str());
}

void GtkTransferWindow::SetProgressRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    SetProgressPos(position_);
}

void GtkTransferWindow::SetProgressPos(int position) {
    position_ = std::clamp(position, std::min(lower_, upper_), std::max(lower_, upper_));
    if (progress_)
        gtk_progress_bar_set_fraction(progress_, progressFraction());
}

double GtkTransferWindow::progressFraction() const {
    if (upper_ == lower_)
        return 0.0;
    return static_cast<double>(position_ - lower_) / static_cast<double>(upper_ - lower_);
}

void GtkTransferWindow::EndDialog(int) {
    if (window_)
        gtk_widget_hide(GTK_WIDGET(window_));
}

gboolean GtkTransferWindow::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GtkTransferWindow*>(self)->onCancel_();
    return TRUE;  // the window goes when the dialog ends
}

gboolean GtkTransferWindow::onKey(GtkWidget*, GdkEventKey* event, gpointer self) {
    if (event->keyval != GDK_KEY_Escape)
        return FALSE;
    static_cast<GtkTransferWindow*>(self)->onCancel_();
    return TRUE;
}

void GtkTransferWindow::onCancelClicked(GtkButton*, gpointer self) {
    static_cast<GtkTransferWindow*>(self)->onCancel_();
}

}  // namespace orvane
