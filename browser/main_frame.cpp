#include "browser/main_frame.h"

#include "browser/address_text.h"
#include "browser/app.h"

namespace orvane {

using namespace resources;

CMainFrame::CMainFrame(CBrowserApp& app)
    : app_(app), barVisible_{{ID_VIEW_TOOLBAR, true}, {ID_VIEW_STATUS_BAR, true}} {}

int CMainFrame::OnCreate() {
    menu_ = MainMenu();
    addressEntries_ = app_.endpoints().AddressListEntries();
    ReadFavorites();
    return 0;
}

bool CMainFrame::OnCommand(int id) {
    if (id >= ID_FAVORITE_FIRST && id <= ID_FAVORITE_LAST) {
        std::size_t index = static_cast<std::size_t>(id - ID_FAVORITE_FIRST);
        if (index < m_favoriteUrls.size() && app_.m_pBrowserView)
            app_.m_pBrowserView->NavigateTo(m_favoriteUrls[index]);
        return true;
    }
    if (OnPageToolCommand(id))
        return true;
    switch (id) {
        case ID_HELP_FINDER:
            if (app_.m_pBrowserView)
                app_.m_pBrowserView->NavigateTo(app_.HelpUrl());
            return true;
        case ID_APP_ABOUT:
            app_.OnAppAbout();
            return true;
        case ID_APP_EXIT:
            OnClose();
            return true;
        case ID_VIEW_FULL_SCREEN:
            fullScreen_ = !fullScreen_;
            if (window_)
                window_->SetFullScreen(fullScreen_);
            return true;
        case ID_FAVORITES_ADD:
            AddToFavorites();
            return true;
        case ID_FAVORITES_ORGANIZE:
            OrganizeFavorites();
            return true;
        case ID_VIEW_TOOLBAR:
        case ID_VIEW_STATUS_BAR:
            barVisible_[id] = !barVisible_[id];
            if (window_)
                window_->ShowBar(id, barVisible_[id]);
            return true;
        default:
            return app_.m_pBrowserView && app_.m_pBrowserView->OnCommand(id);
    }
}

bool CMainFrame::IsBarVisible(int barId) const {
    auto found = barVisible_.find(barId);
    return found != barVisible_.end() && found->second;
}

void CMainFrame::AttachPageTools(PageTools& tools) {
    tools_ = &tools;
    if (window_)
        find_.Attach(*window_, tools);
}

bool CMainFrame::OnPageToolCommand(int id) {
    switch (id) {
        case ID_VIEW_ZOOM_IN:
        case ID_VIEW_ZOOM_OUT:
            if (tools_)
                tools_->SetZoomLevel(NextZoomLevel(tools_->ZoomLevel(), id == ID_VIEW_ZOOM_IN));
            return true;
        case ID_VIEW_ZOOM_RESET:
            if (tools_)
                tools_->SetZoomLevel(1.0);
            return true;
        case ID_VIEW_FIND:
            find_.Open();
            return true;
        case ID_VIEW_FIND_NEXT:
            find_.Next();
            return true;
        case ID_VIEW_FIND_PREVIOUS:
            find_.Previous();
            return true;
        case ID_VIEW_DOWNLOADS:
            if (downloads_)
                downloads_->Present();
            return true;
        case ID_VIEW_CLEAR_BROWSING_DATA:
            if (tools_)
                tools_->ClearBrowsingData([this] { OnDownloadStatus(kBrowsingDataClearedText); });
            return true;
        default:
            return false;
    }
}

// The address box's text, completed to an address, for the page; the page
// then has the keyboard focus, so that typing and paging reach it.
void CMainFrame::NavigateView(const std::string& url) {
    if (app_.m_pBrowserView)
        app_.m_pBrowserView->control().Navigate2(CompleteAddress(url));
    if (window_)
        window_->FocusPage();
}

void CMainFrame::OnAddressEntered(const std::string& text) {
    NavigateView(text);
    // Every Enter adds the text, repeats included.
    addressEntries_.push_back(text);
    if (window_)
        window_->AppendAddressEntry(text);
}

void CMainFrame::OnAddressChosen(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= addressEntries_.size())
        return;
    NavigateView(addressEntries_[index]);
}

void CMainFrame::OnMenuSelect(int id) {
    status_.SetPrompt(PromptFor(id, app_.endpoints().ForPrompts()).statusText);
    ShowStatus();
}

void CMainFrame::OnMenuDeselect() {
    status_.SetPrompt(std::nullopt);
    ShowStatus();
}

void CMainFrame::ShowStatus() {
    if (window_)
        window_->SetStatusText(status_.Text());
}

void CMainFrame::OnLinkHover(const std::string& url) {
    status_.SetHoveredLink(url);
    ShowStatus();
}

bool CMainFrame::OnEscape() {
    if (!fullScreen_ || loading_)
        return false;
    return OnCommand(ID_VIEW_FULL_SCREEN);
}

void CMainFrame::OnLoadStarted(const std::string& url) {
    loading_ = true;
    status_.SetLoading(url);
    ShowStatus();
}

void CMainFrame::OnLoadProgress(int percent) {
    status_.SetLoadProgress(percent);
    ShowStatus();
}

void CMainFrame::OnLoadFinished() {
    loading_ = false;
    status_.SetLoaded();
    ShowStatus();
}

void CMainFrame::OnDownloadStatus(const std::string& text) {
    status_.SetDownload(text);
    ShowStatus();
}

void CMainFrame::OnHistoryChanged(bool canGoBack, bool canGoForward) {
    if (!window_)
        return;
    window_->EnableCommand(ID_GO_BACK, canGoBack);
    window_->EnableCommand(ID_GO_FORWARD, canGoForward);
}

void CMainFrame::SetDocumentTitle(const std::string& title) {
    pageTitle_ = title;
    if (window_)
        window_->SetCaption(title + " - " + kAppTitle);
}

void CMainFrame::ShowAddress(const std::string& url) {
    pageUrl_ = url;
    if (window_)
        window_->SetAddressText(url);
}

void CMainFrame::OnClose() {
    if (closed_)
        return;
    closed_ = true;
    // A download still running is cancelled first, so that no partial file
    // stays behind and its dialog's loop ends.
    if (app_.m_pBrowserView)
        app_.m_pBrowserView->OnFrameClosing();
    app_.OnFrameClose();
    app_.m_pBrowserView = nullptr;
    if (window_)
        window_->DestroyWindow();
}

}  // namespace orvane
