#pragma once

#include <string>
#include <vector>

// OrvaneExplorer's resources: the command ids, the menu, the accelerators,
// the toolbar and the status-bar prompts. The GTK layer builds its widgets
// from these tables, and the tests check the widgets against them.
namespace orvane::resources {

// Command ids, kept as the program's command table.
inline constexpr int ID_ADDRESS_ENTERED = 1;  // Enter in the address box
inline constexpr int ID_VIEW_STOP = 32778;
inline constexpr int ID_VIEW_REFRESH = 32779;
inline constexpr int ID_GO_BACK = 32787;
inline constexpr int ID_GO_FORWARD = 32788;
inline constexpr int ID_GO_START_PAGE = 32789;
inline constexpr int ID_GO_NEW_EVENTS = 32790;
inline constexpr int ID_GO_SEED_ARCHIVES = 32819;
inline constexpr int ID_GO_EVENT_ARCHIVES = 32820;
inline constexpr int ID_FILE_DOWNLOAD_DIRECTORY = 32821;
inline constexpr int ID_FILE_LOCATE_TREMORA = 32823;
// Zoom and find in page, placed in the View menu after its first items.
inline constexpr int ID_VIEW_ZOOM_IN = 32830;
inline constexpr int ID_VIEW_ZOOM_OUT = 32831;
inline constexpr int ID_VIEW_ZOOM_RESET = 32832;
inline constexpr int ID_VIEW_FIND = 32833;
inline constexpr int ID_VIEW_FIND_NEXT = 32834;
inline constexpr int ID_VIEW_FIND_PREVIOUS = 32835;
// Reload past the cache and full screen (View), adding and organising
// favourites (the top of the Favorites menu).
inline constexpr int ID_VIEW_RELOAD_BYPASS = 32850;
inline constexpr int ID_VIEW_FULL_SCREEN = 32851;
inline constexpr int ID_FAVORITES_ADD = 32852;
inline constexpr int ID_FAVORITES_ORGANIZE = 32853;
// The Downloads window and the clearing of what sites have stored, at the
// end of the View menu.
inline constexpr int ID_VIEW_DOWNLOADS = 32840;
inline constexpr int ID_VIEW_CLEAR_BROWSING_DATA = 32841;
inline constexpr int ID_FILE_PRINT = 57607;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_HELP_FINDER = 57670;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;
// The address box is the second band's child with the status bar's number.
inline constexpr int ID_ADDRESS_BOX = 59393;
// Favourite n has the command id ID_FAVORITE_FIRST + n.
inline constexpr int ID_FAVORITE_FIRST = 3584;
inline constexpr int ID_FAVORITE_LAST = 4095;
inline constexpr int kMaxFavorites = ID_FAVORITE_LAST - ID_FAVORITE_FIRST + 1;

// One entry of a menu: a command, a separator (id 0, no text) or a pop-up
// with its own items. Texts keep their "&" mnemonics and "\t" key names.
struct MenuItem {
    std::string text;
    int id = 0;
    std::vector<MenuItem> popup;
    bool isPopup = false;

    bool isSeparator() const { return !isPopup && id == 0; }
    static MenuItem Command(std::string text, int id) { return {std::move(text), id, {}, false}; }
    static MenuItem Separator() { return {}; }
    static MenuItem Popup(std::string text, std::vector<MenuItem> items = {}) {
        return {std::move(text), 0, std::move(items), true};
    }
    bool operator==(const MenuItem&) const = default;
};

// Menu 128: the menu bar, its five pop-ups in order.
std::vector<MenuItem> MainMenu();
// The index of the Favorites pop-up in the menu bar.
inline constexpr int kFavoritesMenuIndex = 3;
// The Favorites menu's own items, above a separator and the favourites.
std::vector<MenuItem> FavoritesMenuCommands();

// Accelerator 128: a key in GTK's accelerator syntax and its command.
struct Accelerator {
    const char* key;
    int id;
};
const std::vector<Accelerator>& Accelerators();

// A toolbar button: its command, its image in the strips, its label (with
// the label's string id) and the icon-theme name drawn for it.
struct ToolbarButton {
    int id;
    int image;
    const char* label;
    int labelStringId;
    const char* iconName;
};
const std::vector<ToolbarButton>& ToolbarButtons();

// The status-bar prompt and tool tip of a command: the text before "\n"
// and the text after it (empty when there is none). Both are empty for a
// command without a prompt. Two prompts name the configured places: the
// main web host (New Events) and the seed archive's URL (Seed Archives).
struct Prompt {
    std::string statusText;
    std::string toolTip;
};
struct PromptPlaces {
    std::string mainWebHost;
    std::string seedArchiveUrl;
};
Prompt PromptFor(int id, const PromptPlaces& places);

inline constexpr char kIdleText[] = "Ready";
inline constexpr char kAddressBandText[] = "Address";
// The lock indicators after the message pane.
inline constexpr const char* kIndicators[] = {"CAP", "NUM", "SCRL"};

}  // namespace orvane::resources
