// The frame's toolbar, address band and status bar.

#include "browser/gtk/gtk_frame.h"
#include "browser/gtk/gtk_log.h"

namespace orvane {

using namespace resources;

namespace {
constexpr int kAddressWidth = 200;

GtkWidget* toolButton(const ToolbarButton& button) {
    GtkWidget* icon = gtk_image_new_from_icon_name(button.iconName, GTK_ICON_SIZE_LARGE_TOOLBAR);
    GtkToolItem* item = gtk_tool_button_new(icon, button.label);
    gtk_widget_set_name(GTK_WIDGET(item), std::to_string(button.id).c_str());
    return GTK_WIDGET(item);
}

// Keeps the wheel from changing the address box's entry (and with it the
// page) while the pointer merely passes over it.
gboolean swallowScroll(GtkWidget*, GdkEvent*, gpointer) {
    return TRUE;
}
}  // namespace

void GtkFrameWindow::BuildToolbar() {
    toolbar_ = gtk_toolbar_new();
    gtk_toolbar_set_style(GTK_TOOLBAR(toolbar_), GTK_TOOLBAR_BOTH);
    for (const ToolbarButton& button : ToolbarButtons()) {
        GtkWidget* item = toolButton(button);
        gtk_widget_set_tooltip_text(item,
                                    PromptFor(button.id, endpoints_.ForPrompts()).toolTip.c_str());
        ConnectCommand(item, "clicked", button.id);
        // The pointer enters the button inside the tool item, which has the
        // event window; its prompt shows meanwhile.
        GtkWidget* inner = gtk_bin_get_child(GTK_BIN(item));
        ConnectPrompt(inner, button.id);
        promptWidgets_.push_back(inner);
        gtk_toolbar_insert(GTK_TOOLBAR(toolbar_), GTK_TOOL_ITEM(item), -1);
    }
    gtk_box_pack_start(layout_, toolbar_, FALSE, FALSE, 0);
}

void GtkFrameWindow::BuildAddressBand() {
    GtkWidget* band = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(band), 2);
    gtk_box_pack_start(GTK_BOX(band), gtk_label_new(kAddressBandText), FALSE, FALSE, 4);
    addressBox_ = GTK_COMBO_BOX_TEXT(gtk_combo_box_text_new_with_entry());
    gtk_widget_set_name(GTK_WIDGET(addressBox_), std::to_string(ID_ADDRESS_BOX).c_str());
    gtk_widget_set_size_request(GTK_WIDGET(addressBox_), kAddressWidth, -1);
    for (const std::string& entry : logic_.addressEntries())
        gtk_combo_box_text_append_text(addressBox_, entry.c_str());
    gtk_box_pack_start(GTK_BOX(band), GTK_WIDGET(addressBox_), TRUE, TRUE, 0);
    g_signal_connect(gtk_bin_get_child(GTK_BIN(addressBox_)), "activate",
                     G_CALLBACK(onAddressActivate), this);
    g_signal_connect(addressBox_, "changed", G_CALLBACK(onAddressChanged), this);
    g_signal_connect(addressBox_, "notify::popup-shown", G_CALLBACK(onAddressListShown), this);
    g_signal_connect(addressBox_, "scroll-event", G_CALLBACK(swallowScroll), nullptr);
    gtk_box_pack_start(layout_, band, FALSE, FALSE, 0);
}

void GtkFrameWindow::BuildStatusBar() {
    statusRow_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
    statusBar_ = GTK_STATUSBAR(gtk_statusbar_new());
    gtk_box_pack_start(GTK_BOX(statusRow_), GTK_WIDGET(statusBar_), TRUE, TRUE, 0);
    for (const char* indicator : kIndicators) {
        GtkWidget* pane = gtk_frame_new(nullptr);
        GtkWidget* label = gtk_label_new(indicator);
        gtk_frame_set_shadow_type(GTK_FRAME(pane), GTK_SHADOW_IN);
        gtk_widget_set_margin_start(label, 4);
        gtk_widget_set_margin_end(label, 4);
        gtk_container_add(GTK_CONTAINER(pane), label);
        gtk_box_pack_start(GTK_BOX(statusRow_), pane, FALSE, FALSE, 0);
        indicators_.push_back(label);
    }
    gtk_box_pack_end(layout_, statusRow_, FALSE, FALSE, 0);
    SetStatusText(kIdleText);
    g_signal_connect(gdk_keymap_get_for_display(gdk_display_get_default()), "state-changed",
                     G_CALLBACK(onKeymapChanged), this);
    UpdateIndicators();
}

void GtkFrameWindow::UpdateIndicators() {
    GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_display_get_default());
    bool states[] = {gdk_keymap_get_caps_lock_state(keymap) != FALSE,
                     gdk_keymap_get_num_lock_state(keymap) != FALSE,
                     gdk_keymap_get_scroll_lock_state(keymap) != FALSE};
    // A lock that is off is drawn greyed, as the indicator panes are.
    for (std::size_t i = 0; i < indicators_.size(); ++i)
        gtk_widget_set_sensitive(indicators_[i], states[i]);
}

void GtkFrameWindow::onKeymapChanged(GdkKeymap*, gpointer self) {
    static_cast<GtkFrameWindow*>(self)->UpdateIndicators();
}

std::string GtkFrameWindow::statusText() const {
    GtkWidget* area = gtk_statusbar_get_message_area(statusBar_);
    GList* children = gtk_container_get_children(GTK_CONTAINER(area));
    std::string text = children ? gtk_label_get_text(GTK_LABEL(children->data)) : "";
    g_list_free(children);
    return text;
}

void GtkFrameWindow::SetStatusText(const std::string& text) {
    if (text == statusText())
        return;
    logFrame("status \"" + text + "\"");
    gtk_statusbar_remove_all(statusBar_, 0);
    gtk_statusbar_push(statusBar_, 0, text.c_str());
    UpdateIndicators();
}

void GtkFrameWindow::SetAddressText(const std::string& text) {
    settingAddress_ = true;
    gtk_entry_set_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(addressBox_))), text.c_str());
    settingAddress_ = false;
}

void GtkFrameWindow::AppendAddressEntry(const std::string& text) {
    gtk_combo_box_text_append_text(addressBox_, text.c_str());
}

void GtkFrameWindow::onAddressActivate(GtkEntry* entry, gpointer self) {
    static_cast<GtkFrameWindow*>(self)->logic_.OnAddressEntered(gtk_entry_get_text(entry));
}

void GtkFrameWindow::onAddressChanged(GtkComboBox* box, gpointer self) {
    auto* frame = static_cast<GtkFrameWindow*>(self);
    int index = gtk_combo_box_get_active(box);
    // Typing (and the frame's own updates) leave no entry active.
    if (frame->settingAddress_ || index < 0)
        return;
    frame->logic_.OnAddressChosen(index);
    // The box reports a change only when another entry is chosen: once this
    // choice is done, no entry stays active, so choosing the same one again
    // is a change too. The entry's text stays.
    frame->addressChoiceReset_.Schedule();
}

void GtkFrameWindow::onAddressListShown(GObject* box, GParamSpec*, gpointer) {
    gboolean shown = FALSE;
    g_object_get(box, "popup-shown", &shown, nullptr);
    logFrame(shown ? "address list shown" : "address list hidden");
}

void GtkFrameWindow::OnAddressChoiceDone() {
    settingAddress_ = true;
    gtk_combo_box_set_active(GTK_COMBO_BOX(addressBox_), -1);
    settingAddress_ = false;
}

}  // namespace orvane
