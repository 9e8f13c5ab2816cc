// The frame's menu bar, built from the menu table, with its accelerators
// and the status-bar prompt of each item.

#include <string>
#include <vector>

#include "browser/gtk/gtk_frame.h"
#include "browser/gtk/gtk_log.h"
#include "browser/menu_text.h"

namespace orvane {

using namespace resources;

namespace {
constexpr char kCommandKey[] = "orvane-command";

int commandOf(GtkWidget* widget) {
    return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), kCommandKey));
}

void onCommand(GtkWidget* widget, gpointer logic) {
    static_cast<CMainFrame*>(logic)->OnCommand(commandOf(widget));
}

void onSelect(GtkWidget* widget, gpointer logic) {
    static_cast<CMainFrame*>(logic)->OnMenuSelect(commandOf(widget));
}

void onDeselect(GtkWidget*, gpointer logic) {
    static_cast<CMainFrame*>(logic)->OnMenuDeselect();
}

gboolean onEnter(GtkWidget* widget, GdkEvent*, gpointer logic) {
    onSelect(widget, logic);
    return FALSE;
}

gboolean onLeave(GtkWidget* widget, GdkEvent*, gpointer logic) {
    onDeselect(widget, logic);
    return FALSE;
}

// The item's text: the mnemonic part on the left, the key name (after the
// tab) on the right, as the menu table writes it.
void addItemContent(GtkWidget* item, const MenuText& text) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 24);
    GtkWidget* label = gtk_label_new_with_mnemonic(text.mnemonicLabel.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), item);
    gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
    if (!text.keyName.empty()) {
        GtkWidget* key = gtk_label_new(text.keyName.c_str());
        gtk_style_context_add_class(gtk_widget_get_style_context(key), "accelerator");
        gtk_box_pack_end(GTK_BOX(row), key, FALSE, FALSE, 0);
    }
    gtk_container_add(GTK_CONTAINER(item), row);
}

GtkWidget* popupItem(const MenuItem& popup) {
    return gtk_menu_item_new_with_mnemonic(MenuText::Parse(popup.text).mnemonicLabel.c_str());
}
}  // namespace

void GtkFrameWindow::ConnectCommand(GtkWidget* widget, const char* signal, int id) {
    g_object_set_data(G_OBJECT(widget), kCommandKey, GINT_TO_POINTER(id));
    g_signal_connect(widget, signal, G_CALLBACK(onCommand), &logic_);
    commandWidgets_[id].push_back(widget);
}

void GtkFrameWindow::EnableCommand(int id, bool enabled) {
    auto widgets = commandWidgets_.find(id);
    if (widgets == commandWidgets_.end())
        return;
    // A greyed menu item also takes its accelerator out of use.
    for (GtkWidget* widget : widgets->second)
        gtk_widget_set_sensitive(widget, enabled);
    logFrame("command " + std::to_string(id) + (enabled ? " enabled" : " greyed"));
}

void GtkFrameWindow::ConnectPrompt(GtkWidget* widget, int id) {
    g_object_set_data(G_OBJECT(widget), kCommandKey, GINT_TO_POINTER(id));
    if (GTK_IS_MENU_ITEM(widget)) {
        g_signal_connect(widget, "select", G_CALLBACK(onSelect), &logic_);
        g_signal_connect(widget, "deselect", G_CALLBACK(onDeselect), &logic_);
    } else {
        g_signal_connect(widget, "enter-notify-event", G_CALLBACK(onEnter), &logic_);
        g_signal_connect(widget, "leave-notify-event", G_CALLBACK(onLeave), &logic_);
    }
}

void GtkFrameWindow::BuildMenuBar() {
    menuBar_ = gtk_menu_bar_new();
    for (const MenuItem& popup : logic_.menu()) {
        GtkWidget* item = popupItem(popup);
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), BuildMenu(popup.popup));
        gtk_menu_shell_append(GTK_MENU_SHELL(menuBar_), item);
    }
    gtk_box_pack_start(layout_, menuBar_, FALSE, FALSE, 0);
}

GtkWidget* GtkFrameWindow::BuildMenu(const std::vector<MenuItem>& items) {
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(menu), accelGroup_);
    for (const MenuItem& item : items)
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), BuildMenuItem(item));
    return menu;
}

GtkWidget* GtkFrameWindow::BuildMenuItem(const MenuItem& item) {
    if (item.isSeparator())
        return gtk_separator_menu_item_new();
    if (item.isPopup) {
        GtkWidget* widget = popupItem(item);
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), BuildMenu(item.popup));
        return widget;
    }
    bool isBarCheck = item.id == ID_VIEW_TOOLBAR || item.id == ID_VIEW_STATUS_BAR;
    GtkWidget* widget = isBarCheck ? gtk_check_menu_item_new() : gtk_menu_item_new();
    if (isBarCheck) {
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), logic_.IsBarVisible(item.id));
        checkItems_[item.id] = widget;
    }
    addItemContent(widget, MenuText::Parse(item.text));
    gtk_widget_set_name(widget, std::to_string(item.id).c_str());
    ConnectCommand(widget, "activate", item.id);
    ConnectPrompt(widget, item.id);
    promptWidgets_.push_back(widget);
    AddAccelerator(widget, item.id);
    return widget;
}

void GtkFrameWindow::ForgetMenuWidgets(GtkWidget* menu) {
    GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* at = items; at; at = at->next) {
        auto* item = GTK_WIDGET(at->data);
        if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)))
            ForgetMenuWidgets(submenu);
        std::erase(promptWidgets_, item);
        for (auto& [id, widgets] : commandWidgets_)
            std::erase(widgets, item);
    }
    g_list_free(items);
}

// A favourite added while the program runs is listed at once.
void GtkFrameWindow::SetFavoritesMenu(const std::vector<MenuItem>& items) {
    GList* popups = gtk_container_get_children(GTK_CONTAINER(menuBar_));
    auto* favorites = GTK_MENU_ITEM(g_list_nth_data(popups, kFavoritesMenuIndex));
    g_list_free(popups);
    GtkWidget* old = gtk_menu_item_get_submenu(favorites);
    if (old) {
        g_object_ref(old);
        ForgetMenuWidgets(old);
    }
    GtkWidget* menu = BuildMenu(items);
    gtk_widget_show_all(menu);
    gtk_menu_item_set_submenu(favorites, menu);
    if (old) {
        gtk_widget_destroy(old);
        g_object_unref(old);
    }
    logFrame("favorites menu: " + std::to_string(items.size()) + " items");
}

void GtkFrameWindow::AddAccelerator(GtkWidget* item, int id) {
    for (const Accelerator& accelerator : Accelerators()) {
        if (accelerator.id != id)
            continue;
        guint key = 0;
        GdkModifierType modifiers{};
        gtk_accelerator_parse(accelerator.key, &key, &modifiers);
        // The item shows the key as the table names it, so GTK's own
        // accelerator text is not drawn.
        gtk_widget_add_accelerator(item, "activate", accelGroup_, key, modifiers, GtkAccelFlags(0));
    }
}

}  // namespace orvane
