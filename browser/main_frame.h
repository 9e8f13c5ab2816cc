#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "browser/download_list.h"
#include "browser/page_tools.h"
#include "browser/status_line.h"
#include "browser/view.h"
#include "resources/browser_resources.h"

namespace orvane {

class CBrowserApp;

// The frame's window on the desktop: what the frame's logic asks of it.
class FrameWindow : public FindBarWindow {
  public:
    virtual void SetCaption(const std::string& caption) = 0;
    // The address box's edit field.
    virtual void SetAddressText(const std::string& text) = 0;
    virtual void AppendAddressEntry(const std::string& text) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Shows or hides the toolbar (ID_VIEW_TOOLBAR) or the status bar
    // (ID_VIEW_STATUS_BAR).
    virtual void ShowBar(int barId, bool visible) = 0;
    // Takes the window off the screen and ends the program's loop.
    virtual void DestroyWindow() = 0;
    // Greys out (or enables again) a command's menu items and buttons.
    virtual void EnableCommand(int id, bool enabled) = 0;
    // The window on the whole screen, without its frame, or back.
    virtual void SetFullScreen(bool on) = 0;
    // Replaces the items of the Favorites menu.
    virtual void SetFavoritesMenu(const std::vector<resources::MenuItem>& items) = 0;
    // Shows a folder in the desktop's file manager.
    virtual void OpenFolder(const std::string& folder) = 0;
};

// The main frame of the browser: its menu (favourites included), toolbar,
// address box and status bar, the routing of commands by id, and the close.
class CMainFrame final : public ViewFrame, public PageActivity {
  public:
    explicit CMainFrame(CBrowserApp& app);

    // Builds the menus, the favourites and the address list; 0 on success.
    int OnCreate();
    // Connects the desktop window once it has been built from the menus.
    void AttachWindow(FrameWindow& window) { window_ = &window; }
    // Connects the page's zoom and search, with the window's find bar.
    void AttachPageTools(PageTools& tools);
    // Connects the Downloads window (View / Downloads).
    void AttachDownloads(DownloadsWindow& downloads) { downloads_ = &downloads; }

    // Adds the Internet shortcuts of a folder and its sub-folders to a menu;
    // returns the next free favourite index.
    int AddFavoritesFolder(const std::string& folder, int first,
                           std::vector<resources::MenuItem>& menu);
    // The user's favourites folder (registry, environment expanded), or
    // nullopt when the registry does not name one.
    std::optional<std::string> FavoritesFolder() const;

    // A command from the menu, an accelerator or the toolbar; false when no
    // one handles it.
    bool OnCommand(int id);
    // Enter in the address box with the edit field's text.
    void OnAddressEntered(const std::string& text);
    // An entry chosen from the address box's list.
    void OnAddressChosen(int index);
    // A menu item or button is highlighted (its prompt) or no longer is.
    void OnMenuSelect(int id);
    void OnMenuDeselect();
    bool IsBarVisible(int barId) const;
    // The close box or File / Close.
    void OnClose();
    // Esc, before its accelerator: true when it left full screen, which it
    // does only while no page action needs the key (a page is loading:
    // Stop).
    bool OnEscape();
    // The window manager put the window on the whole screen or took it back.
    void OnFullScreenChanged(bool on) { fullScreen_ = on; }
    bool fullScreen() const { return fullScreen_; }

    void SetDocumentTitle(const std::string& title) override;
    void ShowAddress(const std::string& url) override;

    void OnLinkHover(const std::string& url) override;
    void OnLoadStarted(const std::string& url) override;
    void OnLoadProgress(int percent) override;
    void OnLoadFinished() override;
    void OnHistoryChanged(bool canGoBack, bool canGoForward) override;
    void OnDownloadStatus(const std::string& text) override;
    FindInPage& findInPage() { return find_; }

    const std::vector<resources::MenuItem>& menu() const { return menu_; }
    const std::vector<std::string>& addressEntries() const { return addressEntries_; }

    std::vector<std::string> m_favoriteUrls;

  private:
    // The Favorites menu: its own commands, then the favourites read from
    // the folder.
    void ReadFavorites();
    void AddToFavorites();
    void OrganizeFavorites();
    int AddShortcuts(const std::string& folder, int first, std::vector<resources::MenuItem>& menu);
    void AddSubFolders(const std::string& folder, int& next,
                       std::vector<resources::MenuItem>& menu);
    void NavigateView(const std::string& url);
    bool OnPageToolCommand(int id);
    void ShowStatus();

    CBrowserApp& app_;
    FrameWindow* window_ = nullptr;
    std::vector<resources::MenuItem> menu_;
    std::vector<std::string> addressEntries_;
    std::map<int, bool> barVisible_;
    StatusLine status_;
    PageTools* tools_ = nullptr;
    DownloadsWindow* downloads_ = nullptr;
    FindInPage find_;
    // Folders being read, so that a link back to one of them ends the walk.
    std::set<std::string> walking_;
    bool closed_ = false;
    bool loading_ = false;
    bool fullScreen_ = false;
    // The page shown: its title and address, for Add to Favorites.
    std::string pageTitle_, pageUrl_;
};

}  // namespace orvane
