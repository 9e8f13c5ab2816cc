// The Favorites menu, read from the Internet shortcut files (".url") of the
// user's favourites folder and its sub-folders.

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "browser/app.h"
#include "browser/favorite_shortcuts.h"
#include "browser/main_frame.h"
#include "browser/paths.h"
#include "platform/directory_listing.h"
#include "platform/environment_expansion.h"
#include "platform/profile_file.h"

namespace orvane {

using resources::MenuItem;

namespace {
constexpr std::size_t kMaxFolderPath = 260;
constexpr std::size_t kMaxShortcutUrl = 2048;
constexpr char kShortcutSuffix[] = ".url";

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

// Exactly ".url": a ".URL" file is not a shortcut.
bool isShortcutName(const std::string& name) {
    return name.size() >= 4 && name.compare(name.size() - 4, 4, kShortcutSuffix) == 0;
}

struct Shortcut {
    std::string text;
    std::string url;
};

std::string shortcutTarget(const std::string& path) {
    return ProfileFile(path).readString("InternetShortcut", "URL").substr(0, kMaxShortcutUrl);
}

// The place of a text among sorted ones: before the first that compares
// greater ignoring case, so an equal text goes after the ones found earlier.
template <typename Names>
std::size_t sortedPosition(const Names& names, const std::string& text) {
    auto after = std::upper_bound(names.begin(), names.end(), text, lessIgnoringCase);
    return static_cast<std::size_t>(after - names.begin());
}
}  // namespace

void CMainFrame::ReadFavorites() {
    std::vector<MenuItem> favorites;
    m_favoriteUrls.clear();
    // Without a favourites folder the menu has only its own commands.
    if (auto folder = FavoritesFolder())
        AddFavoritesFolder(*folder, 0, favorites);
    std::vector<MenuItem>& menu = menu_[resources::kFavoritesMenuIndex].popup;
    menu = resources::FavoritesMenuCommands();
    if (!favorites.empty())
        menu.push_back(MenuItem::Separator());
    menu.insert(menu.end(), favorites.begin(), favorites.end());
}

// The page shown becomes a shortcut named after its title, and the menu is
// read again at once so that it lists the new favourite.
void CMainFrame::AddToFavorites() {
    auto folder = FavoritesFolder();
    if (pageUrl_.empty())
        return;
    std::string error = "there is no Favorites folder";
    if (!folder || !WriteFavoriteShortcut(*folder, pageTitle_, pageUrl_, error)) {
        app_.desktop().MessageBox("Unable to add the page to your Favorites: " + error + ".");
        return;
    }
    ReadFavorites();
    if (window_)
        window_->SetFavoritesMenu(menu_[resources::kFavoritesMenuIndex].popup);
}

void CMainFrame::OrganizeFavorites() {
    auto folder = FavoritesFolder();
    if (!folder)
        return;
    // A folder that was never made is made, so that there is one to open.
    std::error_code ec;
    std::filesystem::create_directories(*folder, ec);
    if (window_)
        window_->OpenFolder(*folder);
}

std::optional<std::string> CMainFrame::FavoritesFolder() const {
    auto key = app_.registry().openKey(RegistryRoot::CurrentUser, kUserShellFoldersKey);
    if (!key)
        return std::nullopt;
    auto value = key->queryValue("Favorites");
    if (!value)
        return std::nullopt;
    return expandEnvironmentStrings(value->substr(0, kMaxFolderPath)).substr(0, kMaxFolderPath);
}

int CMainFrame::AddFavoritesFolder(const std::string& folder, int first,
                                   std::vector<MenuItem>& menu) {
    std::error_code ec;
    std::string identity = std::filesystem::canonical(folder, ec).string();
    // A link back to a folder already being read would never end the walk.
    if (ec || walking_.count(identity))
        return first;
    walking_.insert(identity);
    int next = AddShortcuts(folder, first, menu);
    AddSubFolders(folder, next, menu);
    walking_.erase(identity);
    return next;
}

int CMainFrame::AddShortcuts(const std::string& folder, int first, std::vector<MenuItem>& menu) {
    auto entries = listDirectory(folder);
    if (!entries)
        return first;
    std::string base = AppendSeparator(folder);
    std::vector<std::string> texts;
    std::vector<Shortcut> sorted;
    for (const DirectoryEntry& entry : *entries) {
        if (entry.isDirectory || entry.isHidden || !isShortcutName(entry.name))
            continue;
        Shortcut shortcut{entry.name.substr(0, entry.name.size() - 4),
                          shortcutTarget(base + entry.name)};
        std::size_t at = sortedPosition(texts, shortcut.text);
        texts.insert(texts.begin() + at, shortcut.text);
        sorted.insert(sorted.begin() + at, std::move(shortcut));
    }
    // Only 512 favourites have command ids; the ones sorted last are left out.
    std::size_t room = static_cast<std::size_t>(std::max(0, resources::kMaxFavorites - first));
    if (sorted.size() > room)
        sorted.resize(room);
    if (m_favoriteUrls.size() < static_cast<std::size_t>(first))
        m_favoriteUrls.resize(first);
    int index = first;
    for (Shortcut& shortcut : sorted) {
        menu.push_back(MenuItem::Command(shortcut.text, resources::ID_FAVORITE_FIRST + index));
        m_favoriteUrls.insert(m_favoriteUrls.begin() + index++, std::move(shortcut.url));
    }
    return index;
}

void CMainFrame::AddSubFolders(const std::string& folder, int& next, std::vector<MenuItem>& menu) {
    auto entries = listDirectory(folder);
    if (!entries)
        return;
    std::string base = AppendSeparator(folder);
    std::vector<std::string> inserted;
    for (const DirectoryEntry& entry : *entries) {
        if (!entry.isDirectory)
            continue;
        MenuItem popup = MenuItem::Popup(entry.name);
        int after = AddFavoritesFolder(base + entry.name, next, popup.popup);
        // A folder without shortcuts anywhere below it gets no menu.
        if (after == next)
            continue;
        std::size_t at = sortedPosition(inserted, entry.name);
        inserted.insert(inserted.begin() + at, entry.name);
        menu.insert(menu.begin() + at, std::move(popup));
        next = after;
    }
}

}  // namespace orvane
