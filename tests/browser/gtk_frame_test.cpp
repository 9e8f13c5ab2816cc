// The frame's real GTK widgets: the menus walked item by item against the
// menu table, the accelerators, the toolbar, the address box, the status
// bar and the View bars.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "browser/app.h"
#include "browser/gtk/gtk_frame.h"
#include "browser/main_frame.h"
#include "browser/menu_text.h"
#include "tests/browser/fake_desktop.h"
#include "tests/browser/gtk_session.h"
#include "tests/platform/required_program.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::GtkSession;
using Calls = std::vector<std::string>;

// Menu 128 as the program's documentation gives it: "text=id", "-" for a
// separator, "text>" for a pop-up followed by its items and "<".
const Calls kMenuTable = {"&File>",
                          "&Download Directory...=32821",
                          "&Locate Tremora=32823",
                          "-",
                          "&Print...\tCtrl+P=57607",
                          "-",
                          "&Close=57665",
                          "<",
                          "&View>",
                          "&Toolbar=59392",
                          "&Status Bar=59393",
                          "-",
                          "Sto&p\tEsc=32778",
                          "&Refresh\tF5=32779",
                          "Reload Bypassing &Cache\tCtrl+Shift+R=32850",
                          "-",
                          "Zoom &In\tCtrl+Plus=32830",
                          "Zoom &Out\tCtrl+Minus=32831",
                          "&Actual Size\tCtrl+0=32832",
                          "-",
                          "&Find in Page...\tCtrl+F=32833",
                          "Find &Next\tF3=32834",
                          "Find Pre&vious\tShift+F3=32835",
                          "-",
                          "F&ull Screen\tF11=32851",
                          "-",
                          "&Downloads\tCtrl+Shift+Y=32840",
                          "C&lear Browsing Data=32841",
                          "<",
                          "&Go>",
                          "&Back\tAlt+Left Arrow=32787",
                          "&Forward\tAlt+Right Arrow=32788",
                          "&Start Page...\tHome=32789",
                          "-",
                          "&New Event Files...=32790",
                          "&Orvane Event Archives...=32820",
                          "&IRIS SEED Archives...=32819",
                          "<",
                          "F&avorites>",
                          "&Add to Favorites...=32852",
                          "&Organize Favorites=32853",
                          "-",
                          "News>",
                          "Daily=3585",
                          "<",
                          "Home=3584",
                          "<",
                          "&Help>",
                          "&Help on Orvane Explorer=57670",
                          "&About Orvane Explorer...=57664",
                          "<"};

std::vector<GtkWidget*> children(GtkWidget* container) {
    GList* list = gtk_container_get_children(GTK_CONTAINER(container));
    std::vector<GtkWidget*> widgets;
    for (GList* at = list; at; at = at->next)
        widgets.push_back(GTK_WIDGET(at->data));
    g_list_free(list);
    return widgets;
}

// The labels inside a menu item, in order.
std::vector<GtkLabel*> labelsOf(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget))
        return {GTK_LABEL(widget)};
    std::vector<GtkLabel*> labels;
    if (GTK_IS_CONTAINER(widget))
        for (GtkWidget* child : children(widget))
            for (GtkLabel* label : labelsOf(child))
                labels.push_back(label);
    return labels;
}

std::string tableLine(GtkWidget* item) {
    if (GTK_IS_SEPARATOR_MENU_ITEM(item))
        return "-";
    auto labels = labelsOf(item);
    MenuText text{labels.empty() ? "" : gtk_label_get_label(labels[0]),
                  labels.size() > 1 ? gtk_label_get_label(labels[1]) : ""};
    if (gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)))
        return text.TableText() + ">";
    return text.TableText() + "=" + gtk_widget_get_name(item);
}

void walk(GtkWidget* menu, Calls& lines) {
    for (GtkWidget* item : children(menu)) {
        lines.push_back(tableLine(item));
        if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item))) {
            walk(submenu, lines);
            lines.push_back("<");
        }
    }
}

GtkWidget* findNamed(GtkWidget* root, const std::string& name) {
    if (gtk_widget_get_name(root) == name)
        return root;
    if (GTK_IS_MENU_ITEM(root))
        if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(root)))
            if (GtkWidget* found = findNamed(submenu, name))
                return found;
    if (!GTK_IS_CONTAINER(root))
        return nullptr;
    for (GtkWidget* child : children(root))
        if (GtkWidget* found = findNamed(child, name))
            return found;
    return nullptr;
}

class GtkFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::programInstalled("Xvfb"));
        session = GtkSession::get();
        ASSERT_TRUE(session) << "GTK could not open its private X display";
        std::string favorites = folder / "fav";
        fs::create_directories(favorites + "/News");
        std::ofstream(favorites + "/Home.url") << "[InternetShortcut]\nURL=http://home.example/\n";
        std::ofstream(favorites + "/News/Daily.url")
            << "[InternetShortcut]\nURL=http://d.example/\n";
        RegistryStore registry({folder / "m.ini", folder / "u.ini"});
        registry.createKey(RegistryRoot::CurrentUser, kUserShellFoldersKey)
            ->setValue("Favorites", favorites);
        app =
            std::make_unique<CBrowserApp>(desktop, world, ProfileFile(folder / "s.ini"), registry);
        app->programDirectorySource = [] { return std::string("/opt/orvane/"); };
        ASSERT_TRUE(app->InitInstance({}));
        mainFrame = std::make_unique<CMainFrame>(*app);
        ASSERT_EQ(mainFrame->OnCreate(), 0);
        window = std::make_unique<GtkFrameWindow>(*mainFrame, app->endpoints());
        window->BuildBars();
        mainFrame->AttachWindow(*window);
        gtk_widget_show_all(GTK_WIDGET(window->window()));
        ASSERT_TRUE(GtkSession::pumpUntilShown(GTK_WIDGET(window->window())));
        desktop.control.calls.clear();
    }
    void TearDown() override {
        window.reset();
        if (session)
            GtkSession::pumpUntilIdle();
    }
    GtkWidget* named(int id) { return findNamed(GTK_WIDGET(window->window()), std::to_string(id)); }
    Calls& calls() { return desktop.control.calls; }

    GtkSession* session = nullptr;
    orvane::testkit::TempFolder folder;
    orvane::testing::FakeDesktop desktop;
    orvane::testing::FakeWorld world;
    std::unique_ptr<CBrowserApp> app;
    std::unique_ptr<CMainFrame> mainFrame;
    std::unique_ptr<GtkFrameWindow> window;
};

TEST_F(GtkFrameTest, EveryMenuItemHasTheTablesTextIdAndPlace) {
    Calls lines;
    for (GtkWidget* item : children(window->menuBar())) {
        lines.push_back(tableLine(item));
        walk(gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)), lines);
        lines.push_back("<");
    }
    EXPECT_EQ(lines, kMenuTable);
}

TEST_F(GtkFrameTest, AcceleratorsRunTheirCommands) {
    const std::vector<std::pair<const char*, std::string>> keys = {
        {"<Control>p", "print"},
        {"Escape", "stop"},
        {"F5", "refresh"},
        {"<Control>r", "refresh"},
        {"<Control><Shift>r", "refresh past the cache"},
        {"Home", "home"},
        {"<Alt>Left", "back"},
        {"<Alt>Right", "forward"}};
    for (const auto& [key, expected] : keys) {
        guint keyval = 0;
        GdkModifierType modifiers{};
        gtk_accelerator_parse(key, &keyval, &modifiers);
        calls().clear();
        EXPECT_TRUE(gtk_accel_groups_activate(G_OBJECT(window->window()), keyval, modifiers))
            << key;
        EXPECT_EQ(calls(), Calls{expected}) << key;
    }
}

// A key as the display delivers it to the window.
bool pressKey(GtkWindow* window, guint keyval, GdkModifierType state) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    event->key.state = state;
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()),
                                          keyval, &keys, &count) &&
        count > 0)
        event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    g_free(keys);
    gdk_event_set_device(
        event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    bool handled = gtk_widget_event(GTK_WIDGET(window), event);
    gdk_event_free(event);
    return handled;
}

// Ctrl+L selects the address; letters typed there stay in the field while
// Ctrl+R reloads; F11 and Esc go in and out of full screen, Esc being
// Stop's while a page loads.
TEST_F(GtkFrameTest, CtrlLReloadAndFullScreenKeysLeaveTypedTextToTheField) {
    GtkWindow* frame = window->window();
    GtkEntry* entry = GTK_ENTRY(gtk_bin_get_child(GTK_BIN(window->addressBox())));
    mainFrame->ShowAddress("http://shown.example/");
    gtk_widget_grab_focus(GTK_WIDGET(window->toolbar()));
    EXPECT_TRUE(pressKey(frame, GDK_KEY_l, GDK_CONTROL_MASK));
    EXPECT_EQ(gtk_window_get_focus(frame), GTK_WIDGET(entry));
    int start = 0, end = 0;
    EXPECT_TRUE(gtk_editable_get_selection_bounds(GTK_EDITABLE(entry), &start, &end));
    EXPECT_EQ(end - start, 21);
    gtk_editable_set_position(GTK_EDITABLE(entry), -1);
    for (guint key : {GDK_KEY_l, GDK_KEY_r})
        pressKey(frame, key, GdkModifierType(0));
    EXPECT_STREQ(gtk_entry_get_text(entry), "http://shown.example/lr");
    EXPECT_TRUE(calls().empty());
    pressKey(frame, GDK_KEY_r, GDK_CONTROL_MASK);
    pressKey(frame, GDK_KEY_R, GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK));
    EXPECT_EQ(calls(), (Calls{"refresh", "refresh past the cache"}));
    EXPECT_STREQ(gtk_entry_get_text(entry), "http://shown.example/lr");

    calls().clear();
    pressKey(frame, GDK_KEY_F11, GdkModifierType(0));
    EXPECT_TRUE(mainFrame->fullScreen());
    mainFrame->OnLoadStarted("http://shown.example/");
    pressKey(frame, GDK_KEY_Escape, GdkModifierType(0));
    EXPECT_TRUE(mainFrame->fullScreen());
    EXPECT_EQ(calls(), Calls{"stop"});
    mainFrame->OnLoadFinished();
    pressKey(frame, GDK_KEY_Escape, GdkModifierType(0));
    EXPECT_FALSE(mainFrame->fullScreen());
    EXPECT_EQ(calls(), Calls{"stop"}) << "Esc left full screen and did not stop";
}

// Add to Favorites lists the new favourite at once; its item works and the
// items it replaced are gone.
TEST_F(GtkFrameTest, AnAddedFavouriteIsInTheMenuAtOnce) {
    mainFrame->SetDocumentTitle("Added Page");
    mainFrame->ShowAddress("http://added.example/");
    gtk_menu_item_activate(GTK_MENU_ITEM(named(32852)));
    EXPECT_TRUE(fs::exists(folder / "fav/Added Page.url"));
    Calls lines;
    GtkWidget* favorites = children(window->menuBar())[3];
    walk(gtk_menu_item_get_submenu(GTK_MENU_ITEM(favorites)), lines);
    EXPECT_EQ(lines, (Calls{"&Add to Favorites...=32852", "&Organize Favorites=32853", "-", "News>",
                            "Daily=3586", "<", "Added Page=3584", "Home=3585"}));
    gtk_menu_item_activate(GTK_MENU_ITEM(named(3584)));
    gtk_menu_item_activate(GTK_MENU_ITEM(named(3586)));
    EXPECT_EQ(calls(), (Calls{"navigate http://added.example/", "navigate http://d.example/"}));
    gtk_menu_item_select(GTK_MENU_ITEM(named(32852)));
    EXPECT_EQ(window->statusText(), "Adds the current page to your favorites");
}

TEST_F(GtkFrameTest, MenuItemsRunTheirCommandsAndShowTheirPrompts) {
    gtk_menu_item_select(GTK_MENU_ITEM(named(32790)));
    EXPECT_EQ(window->statusText(), "Opens the new event page at www.orvane.net.");
    gtk_menu_item_deselect(GTK_MENU_ITEM(named(32790)));
    EXPECT_EQ(window->statusText(), "Ready");
    gtk_menu_item_activate(GTK_MENU_ITEM(named(32820)));
    gtk_menu_item_activate(GTK_MENU_ITEM(named(3585)));
    EXPECT_EQ(calls(),
              (Calls{"navigate http://www.orvane.net/quakes/", "navigate http://d.example/"}));
}

TEST_F(GtkFrameTest, ToolbarHasSixLabelledButtonsWithTipsInOrder) {
    const Calls expected = {"32787 Back Back",       "32788 Forward Forward",
                            "32778 Stop Stop",       "32779 Refresh Refresh",
                            "32789 Home Start Page", "32790 Events New Events"};
    Calls buttons;
    for (GtkWidget* item : children(window->toolbar())) {
        gchar* tip = gtk_widget_get_tooltip_text(item);
        buttons.push_back(std::string(gtk_widget_get_name(item)) + " " +
                          gtk_tool_button_get_label(GTK_TOOL_BUTTON(item)) + " " +
                          (tip ? tip : ""));
        g_free(tip);
    }
    EXPECT_EQ(buttons, expected);
    GtkWidget* refresh = gtk_bin_get_child(GTK_BIN(children(window->toolbar())[3]));
    gboolean handled = FALSE;
    GdkEvent* crossing = gdk_event_new(GDK_ENTER_NOTIFY);
    g_signal_emit_by_name(refresh, "enter-notify-event", crossing, &handled);
    EXPECT_EQ(window->statusText(), "Refreshes the contents of the current page.");
    crossing->type = GDK_LEAVE_NOTIFY;
    g_signal_emit_by_name(refresh, "leave-notify-event", crossing, &handled);
    gdk_event_free(crossing);
    EXPECT_EQ(window->statusText(), "Ready");
    for (GtkWidget* item : children(window->toolbar()))
        g_signal_emit_by_name(item, "clicked");
    EXPECT_EQ(calls(), (Calls{"back", "forward", "stop", "refresh", "home",
                              "navigate http://www.orvane.net/cgi-dos/event.exe"}));
}

TEST_F(GtkFrameTest, AddressBoxNavigatesOnEnterAndSelectionButNotOnShow) {
    GtkComboBox* box = GTK_COMBO_BOX(window->addressBox());
    GtkTreeModel* model = gtk_combo_box_get_model(box);
    EXPECT_EQ(gtk_tree_model_iter_n_children(model, nullptr), 6);
    GtkEntry* entry = GTK_ENTRY(gtk_bin_get_child(GTK_BIN(box)));
    mainFrame->ShowAddress("http://shown.example/");
    EXPECT_STREQ(gtk_entry_get_text(entry), "http://shown.example/");
    EXPECT_TRUE(calls().empty());
    gtk_entry_set_text(entry, "http://typed.example/");
    g_signal_emit_by_name(entry, "activate");
    g_signal_emit_by_name(entry, "activate");
    EXPECT_EQ(gtk_tree_model_iter_n_children(model, nullptr), 8);
    gtk_combo_box_set_active(box, 2);
    ASSERT_TRUE(GtkSession::pumpUntil(
        [&] { return calls().size() == 3 && !g_main_context_pending(nullptr); }, 5000));
    gtk_combo_box_set_active(box, 2);  // the same entry again
    EXPECT_EQ(calls(), (Calls{"navigate http://typed.example/", "navigate http://typed.example/",
                              "navigate http://www.iris.edu/pub/farm/",
                              "navigate http://www.iris.edu/pub/farm/"}));
    EXPECT_STREQ(gtk_entry_get_text(entry), "http://www.iris.edu/pub/farm/");
}

// Top to bottom: menu bar, toolbar, address band, the page's body, status
// bar; then the View menu's check marks follow the bars they hide.
TEST_F(GtkFrameTest, ViewMenuHidesAndShowsTheBarsWithCheckMarks) {
    auto top = [&](GtkWidget* widget) {
        int x = 0, y = -1;
        gtk_widget_translate_coordinates(widget, GTK_WIDGET(window->window()), 0, 0, &x, &y);
        return y;
    };
    GtkWidget* addressBand = gtk_widget_get_parent(GTK_WIDGET(window->addressBox()));
    std::vector<int> tops = {top(window->menuBar()), top(window->toolbar()), top(addressBand),
                             top(GTK_WIDGET(window->body())), top(window->statusRow())};
    EXPECT_TRUE(std::is_sorted(tops.begin(), tops.end()) &&
                std::adjacent_find(tops.begin(), tops.end()) == tops.end())
        << tops[0] << " " << tops[1] << " " << tops[2] << " " << tops[3] << " " << tops[4];
    GtkWidget* toolbarItem = named(59392);
    GtkWidget* statusItem = nullptr;
    for (GtkWidget* item :
         children(gtk_menu_item_get_submenu(GTK_MENU_ITEM(children(window->menuBar())[1]))))
        if (std::string(gtk_widget_get_name(item)) == "59393")
            statusItem = item;
    ASSERT_TRUE(statusItem);
    EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(toolbarItem)));
    gtk_menu_item_activate(GTK_MENU_ITEM(toolbarItem));
    gtk_menu_item_activate(GTK_MENU_ITEM(statusItem));
    EXPECT_FALSE(gtk_widget_get_visible(window->toolbar()));
    EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(toolbarItem)));
    EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(statusItem)));
    EXPECT_FALSE(mainFrame->IsBarVisible(59393));
    gtk_menu_item_activate(GTK_MENU_ITEM(toolbarItem));
    EXPECT_TRUE(gtk_widget_get_visible(window->toolbar()));
    EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(toolbarItem)));
}

TEST_F(GtkFrameTest, StatusBarIdlesAtReadyWithItsThreeIndicators) {
    Calls texts;
    for (GtkLabel* label : labelsOf(window->statusRow()))
        texts.push_back(gtk_label_get_text(label));
    EXPECT_EQ(texts, (Calls{"Ready", "CAP", "NUM", "SCRL"}));
    EXPECT_EQ(gtk_window_get_title(window->window()), std::string("Untitled - Orvane Explorer"));
    mainFrame->SetDocumentTitle("Quakes");
    EXPECT_EQ(gtk_window_get_title(window->window()), std::string("Quakes - Orvane Explorer"));
}

}  // namespace
}  // namespace orvane
