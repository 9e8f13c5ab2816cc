#include "resources/browser_resources.h"

#include <map>

namespace orvane::resources {

std::vector<MenuItem> MainMenu() {
    using M = MenuItem;
    return {
        M::Popup("&File", {M::Command("&Download Directory...", ID_FILE_DOWNLOAD_DIRECTORY),
                           M::Command("&Locate Tremora", ID_FILE_LOCATE_TREMORA), M::Separator(),
                           M::Command("&Print...\tCtrl+P", ID_FILE_PRINT), M::Separator(),
                           M::Command("&Close", ID_APP_EXIT)}),
        M::Popup(
            "&View",
            {M::Command("&Toolbar", ID_VIEW_TOOLBAR), M::Command("&Status Bar", ID_VIEW_STATUS_BAR),
             M::Separator(), M::Command("Sto&p\tEsc", ID_VIEW_STOP),
             M::Command("&Refresh\tF5", ID_VIEW_REFRESH),
             M::Command("Reload Bypassing &Cache\tCtrl+Shift+R", ID_VIEW_RELOAD_BYPASS),
             M::Separator(), M::Command("Zoom &In\tCtrl+Plus", ID_VIEW_ZOOM_IN),
             M::Command("Zoom &Out\tCtrl+Minus", ID_VIEW_ZOOM_OUT),
             M::Command("&Actual Size\tCtrl+0", ID_VIEW_ZOOM_RESET), M::Separator(),
             M::Command("&Find in Page...\tCtrl+F", ID_VIEW_FIND),
             M::Command("Find &Next\tF3", ID_VIEW_FIND_NEXT),
             M::Command("Find Pre&vious\tShift+F3", ID_VIEW_FIND_PREVIOUS), M::Separator(),
             M::Command("F&ull Screen\tF11", ID_VIEW_FULL_SCREEN), M::Separator(),
             M::Command("&Downloads\tCtrl+Shift+Y", ID_VIEW_DOWNLOADS),
             M::Command("C&lear Browsing Data", ID_VIEW_CLEAR_BROWSING_DATA)}),
        M::Popup("&Go", {M::Command("&Back\tAlt+Left Arrow", ID_GO_BACK),
                         M::Command("&Forward\tAlt+Right Arrow", ID_GO_FORWARD),
                         M::Command("&Start Page...\tHome", ID_GO_START_PAGE), M::Separator(),
                         M::Command("&New Event Files...", ID_GO_NEW_EVENTS),
                         M::Command("&Orvane Event Archives...", ID_GO_EVENT_ARCHIVES),
                         M::Command("&IRIS SEED Archives...", ID_GO_SEED_ARCHIVES)}),
        // The frame replaces this separator by its own items and the
        // favourites.
        M::Popup("F&avorites", {M::Separator()}),
        M::Popup("&Help", {M::Command("&Help on Orvane Explorer", ID_HELP_FINDER),
                           M::Command("&About Orvane Explorer...", ID_APP_ABOUT)}),
    };
}

std::vector<MenuItem> FavoritesMenuCommands() {
    return {MenuItem::Command("&Add to Favorites...", ID_FAVORITES_ADD),
            MenuItem::Command("&Organize Favorites", ID_FAVORITES_ORGANIZE)};
}

const std::vector<Accelerator>& Accelerators() {
    static const std::vector<Accelerator> table{
        {"<Control>p", ID_FILE_PRINT},
        {"Escape", ID_VIEW_STOP},
        {"F5", ID_VIEW_REFRESH},
        {"<Control>r", ID_VIEW_REFRESH},
        {"<Control><Shift>r", ID_VIEW_RELOAD_BYPASS},
        {"F11", ID_VIEW_FULL_SCREEN},
        {"Home", ID_GO_START_PAGE},
        {"<Alt>Left", ID_GO_BACK},
        {"<Alt>Right", ID_GO_FORWARD},
        // Ctrl+plus also as Ctrl+= (the same key without Shift) and on the
        // keypad.
        {"<Control>plus", ID_VIEW_ZOOM_IN},
        {"<Control>equal", ID_VIEW_ZOOM_IN},
        {"<Control>KP_Add", ID_VIEW_ZOOM_IN},
        {"<Control>minus", ID_VIEW_ZOOM_OUT},
        {"<Control>KP_Subtract", ID_VIEW_ZOOM_OUT},
        {"<Control>0", ID_VIEW_ZOOM_RESET},
        {"<Control>f", ID_VIEW_FIND},
        {"F3", ID_VIEW_FIND_NEXT},
        {"<Shift>F3", ID_VIEW_FIND_PREVIOUS},
        {"<Control><Shift>y", ID_VIEW_DOWNLOADS},
    };
    return table;
}

const std::vector<ToolbarButton>& ToolbarButtons() {
    static const std::vector<ToolbarButton> buttons{
        {ID_GO_BACK, 0, "Back", 748, "go-previous"},
        {ID_GO_FORWARD, 1, "Forward", 749, "go-next"},
        {ID_VIEW_STOP, 2, "Stop", 750, "process-stop"},
        {ID_VIEW_REFRESH, 3, "Refresh", 751, "view-refresh"},
        {ID_GO_START_PAGE, 4, "Home", 752, "go-home"},
        {ID_GO_NEW_EVENTS, 5, "Events", 753, "document-open"},
    };
    return buttons;
}

namespace {
std::string promptText(int id, const PromptPlaces& places) {
    static const std::map<int, std::string> fixed{
        {ID_VIEW_STOP, "Stops opening a file.\nStop"},
        {ID_VIEW_REFRESH, "Refreshes the contents of the current page.\nRefresh"},
        {ID_GO_BACK, "Goes back one step.\nBack"},
        {ID_GO_FORWARD, "Goes forward one step.\nForward"},
        {ID_GO_START_PAGE, "Opens your start page.\nStart Page"},
        {ID_FILE_DOWNLOAD_DIRECTORY, "Sets the directory used for event file downloads"},
        {ID_FILE_LOCATE_TREMORA, "Sets the location to Tremora (trmvw32.exe) program"},
        {ID_FILE_PRINT, "Prints this document.\nPrint"},
        {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
        {ID_APP_EXIT, "Closes the window."},
        {ID_HELP_FINDER, "Display help documentation for this program"},
        {ID_VIEW_TOOLBAR, "Show or hide the toolbar"},
        {ID_VIEW_STATUS_BAR, "Show or hide the status bar"},
        {ID_VIEW_RELOAD_BYPASS,
         "Reloads the page and everything in it from the server.\nReload Bypassing Cache"},
        {ID_VIEW_FULL_SCREEN, "Shows the page on the whole screen, or leaves it.\nFull Screen"},
        {ID_FAVORITES_ADD, "Adds the current page to your favorites"},
        {ID_FAVORITES_ORGANIZE, "Opens your favorites folder"},
        {ID_VIEW_ZOOM_IN, "Makes the page larger.\nZoom In"},
        {ID_VIEW_ZOOM_OUT, "Makes the page smaller.\nZoom Out"},
        {ID_VIEW_ZOOM_RESET, "Shows the page at its normal size.\nActual Size"},
        {ID_VIEW_FIND, "Finds a text on this page.\nFind"},
        {ID_VIEW_FIND_NEXT, "Finds the next place of the text.\nFind Next"},
        {ID_VIEW_FIND_PREVIOUS, "Finds the previous place of the text.\nFind Previous"},
        {ID_VIEW_DOWNLOADS, "Lists the files downloaded since the program started.\nDownloads"},
        {ID_VIEW_CLEAR_BROWSING_DATA,
         "Removes the cookies, logins and cached pages that sites have left.\nClear Browsing Data"},
    };
    if (id == ID_GO_NEW_EVENTS)
        return "Opens the new event page at " + places.mainWebHost + ".\nNew Events";
    if (id == ID_GO_SEED_ARCHIVES)
        return "Opens " + places.seedArchiveUrl;
    auto found = fixed.find(id);
    return found == fixed.end() ? std::string() : found->second;
}
}  // namespace

Prompt PromptFor(int id, const PromptPlaces& places) {
    std::string text = promptText(id, places);
    auto newline = text.find('\n');
    if (newline == std::string::npos)
        return {text, {}};
    return {text.substr(0, newline), text.substr(newline + 1)};
}

}  // namespace orvane::resources
