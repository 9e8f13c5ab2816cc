// The frame's find bar, above the status bar: the text to look for, Next
// and Previous buttons, the result ("Not found") and a close button.

#include "browser/gtk/gtk_frame.h"
#include "browser/gtk/gtk_log.h"

namespace orvane {

using namespace resources;

namespace {
void onFindActivate(GtkEntry*, gpointer find) {
    static_cast<FindInPage*>(find)->Next();
}
void onFindNext(GtkButton*, gpointer find) {
    static_cast<FindInPage*>(find)->Next();
}
void onFindPrevious(GtkButton*, gpointer find) {
    static_cast<FindInPage*>(find)->Previous();
}
void onFindClose(GtkButton*, gpointer find) {
    static_cast<FindInPage*>(find)->Close();
}

GtkWidget* findButton(const char* label, GCallback handler, FindInPage& find) {
    GtkWidget* button = gtk_button_new_with_mnemonic(label);
    gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
    gtk_widget_set_can_focus(button, FALSE);
    g_signal_connect(button, "clicked", handler, &find);
    return button;
}
}  // namespace

void GtkFrameWindow::BuildFindBar() {
    FindInPage& find = logic_.findInPage();
    findBar_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_widget_set_name(findBar_, std::to_string(ID_VIEW_FIND).c_str());
    gtk_container_set_border_width(GTK_CONTAINER(findBar_), 2);
    findEntry_ = GTK_ENTRY(gtk_entry_new());
    gtk_entry_set_width_chars(findEntry_, 30);
    GtkWidget* label = gtk_label_new_with_mnemonic("F_ind:");
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), GTK_WIDGET(findEntry_));
    findResult_ = GTK_LABEL(gtk_label_new(""));
    gtk_box_pack_start(GTK_BOX(findBar_), label, FALSE, FALSE, 4);
    gtk_box_pack_start(GTK_BOX(findBar_), GTK_WIDGET(findEntry_), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(findBar_), findButton("_Next", G_CALLBACK(onFindNext), find), FALSE,
                       FALSE, 0);
    gtk_box_pack_start(GTK_BOX(findBar_), findButton("_Previous", G_CALLBACK(onFindPrevious), find),
                       FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(findBar_), GTK_WIDGET(findResult_), FALSE, FALSE, 8);
    gtk_box_pack_end(GTK_BOX(findBar_), findButton("_Close", G_CALLBACK(onFindClose), find), FALSE,
                     FALSE, 0);
    g_signal_connect(findEntry_, "activate", G_CALLBACK(onFindActivate), &find);
    gtk_widget_show_all(findBar_);
    gtk_widget_hide(findBar_);
    // Shown by Ctrl+F only, not with the rest of the frame.
    gtk_widget_set_no_show_all(findBar_, TRUE);
    gtk_box_pack_end(layout_, findBar_, FALSE, FALSE, 0);
}

void GtkFrameWindow::ShowFindBar(bool visible) {
    gtk_widget_set_visible(findBar_, visible);
}

void GtkFrameWindow::FocusFindText() {
    gtk_widget_grab_focus(GTK_WIDGET(findEntry_));
    gtk_editable_select_region(GTK_EDITABLE(findEntry_), 0, -1);
}

std::string GtkFrameWindow::FindText() const {
    return gtk_entry_get_text(findEntry_);
}

void GtkFrameWindow::SetFindResult(const std::string& text) {
    gtk_label_set_text(findResult_, text.c_str());
    logFrame("find result \"" + text + "\"");
}

std::string GtkFrameWindow::findResult() const {
    return gtk_label_get_text(findResult_);
}

}  // namespace orvane
