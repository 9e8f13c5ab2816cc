#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "browser/event_url_rules.h"
#include "transfer/folder_listing.h"

namespace orvane {

class CBrowserApp;
class DirectoryDialogs;

// Private messages that the view posts to its own window (WM_USER + 7 and
// WM_USER + 8; WM_USER is 0x0400).
inline constexpr unsigned WM_START_FTP_DOWNLOAD = 0x0400 + 7;
inline constexpr unsigned WM_START_HTTP_DOWNLOAD = 0x0400 + 8;

inline constexpr char kViewerService[] = "trmvw32";

// The hosted web control: what the view asks of it. WebKitGTK carries it in
// the program; tests use a recording one.
class WebControl {
  public:
    virtual ~WebControl() = default;
    virtual void Navigate2(const std::string& url) = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    // The browser's home page.
    virtual void GoHome() = 0;
    virtual void Stop() = 0;
    virtual void Refresh() = 0;
    // Loads the page again with everything in it from the server, past the
    // cache.
    virtual void RefreshBypassingCache() = 0;
    virtual void Print() = 0;
    // Called during OnBeforeNavigate2: the navigation is neither made nor
    // cancelled yet, but held until ReleaseNavigation shows the page given
    // in its place under its URL (in the history as that URL), or
    // DropNavigation cancels it.
    virtual void HoldNavigation() = 0;
    virtual void ReleaseNavigation(const std::string& page) = 0;
    virtual void DropNavigation() = 0;
};

// The frame's side of the view: its caption and address box.
class ViewFrame {
  public:
    virtual ~ViewFrame() = default;
    // The document's title; the frame shows it before " - Orvane Explorer".
    virtual void SetDocumentTitle(const std::string& title) = 0;
    virtual void ShowAddress(const std::string& url) = 0;
};

// The view's own window: a message posted here is handed back to
// CBrowserView::OnMessage once the event being handled has returned.
class ViewMessageQueue {
  public:
    virtual ~ViewMessageQueue() = default;
    virtual void PostViewMessage(unsigned message) = 0;
};

// What a transfer status dialog leaves for the view once it has closed.
struct TransferOutcome {
    TransferOutcome(int failed = 1, std::string localPath = {}, std::string error = {},
                    bool cancelled = false)
        : m_bFailed(failed),
          m_szLocalPath(std::move(localPath)),
          m_szError(std::move(error)),
          m_bCancelled(cancelled) {}
    int m_bFailed;
    std::string m_szLocalPath;
    std::string m_szError;  // why it failed
    bool m_bCancelled;      // the user cancelled it
};

// Runs the modal transfer status dialog for one URL.
class TransferRunner {
  public:
    virtual ~TransferRunner() = default;
    // Returns when the dialog has closed. fallbackUrl (empty: none) is
    // asked once when the server has no file at url, and names the file.
    virtual TransferOutcome RunModal(const std::string& url, const std::string& fallbackUrl,
                                     bool http) = 0;
    // Acts as the Cancel button of the dialog that is running.
    virtual void CancelRunning() = 0;
    // Fetches an ftp:// folder's listing without blocking the user
    // interface; done runs later on the user-interface thread, unless the
    // listing is cancelled (or another one started) first.
    virtual void StartListing(const std::string& url,
                              std::function<void(const FolderListing&)> done) = 0;
    virtual void CancelListing() = 0;
};

// Everything around the view that it talks to.
struct ViewHost {
    WebControl& control;
    ViewFrame& frame;
    ViewMessageQueue& messages;
    DirectoryDialogs& dialogs;
    TransferRunner& transfers;
};

// The single view of the browser, around the hosted web control. It
// watches every navigation and diverts links to the network's event files
// into downloads, which it then hands to the viewer.
class CBrowserView {
  public:
    CBrowserView(CBrowserApp& app, ViewHost host);

    // First update: registers with the application and shows the initial URL
    // or the home page.
    void OnInitialUpdate();
    void NavigateTo(const std::string& url);

    // Called before every navigation of the page and its frames; sets
    // cancel when the navigation is diverted into a download.
    void OnBeforeNavigate2(const std::string& url, bool& cancel);
    void OnTitleChange(const std::string& title) { host_.frame.SetDocumentTitle(title); }
    void OnDocumentComplete(const std::string& url) { host_.frame.ShowAddress(url); }
    // A message posted to the view's window; returns the handler's result.
    long OnMessage(unsigned message);
    // The view's commands (Back ... Locate Tremora, Print); false for an id
    // that is not the view's.
    bool OnCommand(int id);

    bool ClassifyEventUrl(std::string& url, EventProtocol& protocol) const;
    bool IsEventHttpUrl(const std::string& url) const { return rules_.IsEventHttpUrl(url); }

    // The frame is closing: a running download is cancelled (its partial
    // file removed) and nothing further is started.
    void OnFrameClosing();
    bool downloadRunning() const { return running_; }

    WebControl& control() { return host_.control; }

    std::string m_szPendingUrl;
    // The pending download's URL with the link's own letters in its path
    // and query: asked first, m_szPendingUrl (lower-cased) after a miss.
    std::string m_szPendingLinkUrl;
    CBrowserApp* m_pApp = nullptr;

  private:
    long OnStartDownload(unsigned message);
    void RecordOutcome(int entry, const TransferOutcome& outcome);
    // ftp:// navigations that are not event files: a folder is shown as a
    // listing page, a file named by a listing page is downloaded.
    bool DivertFtpNavigation(const std::string& url, EventProtocol protocol, bool& cancel);
    void StartListing(const std::string& url);
    void OnListing(const std::string& url, const FolderListing& listing);

    CBrowserApp& app_;
    ViewHost host_;
    EventUrlRules rules_;
    bool running_ = false;
    bool closing_ = false;
    // The protocol decided with m_szPendingUrl: a later decision replaces
    // both, so the URL is never fetched with the other protocol's client.
    bool pendingHttp_ = false;
    unsigned deferred_ = 0;  // a start message that arrived while one ran
    unsigned parked_ = 0;    // downloads decided so far
    // The download parked with m_szPendingUrl goes to the viewer (an event
    // file) or only into the download directory (a file of a listing).
    bool pendingViewer_ = true;
    bool listing_ = false;  // a listing is being fetched for a held navigation
    // Files that listing pages have linked to, by URL.
    std::set<std::string> listedFiles_;
};

}  // namespace orvane
