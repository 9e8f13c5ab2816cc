#include "browser/view.h"

#include <filesystem>

#include "browser/app.h"
#include "browser/directory_dialogs.h"
#include "browser/ftp_listing_page.h"
#include "platform/ascii_text.h"
#include "resources/browser_resources.h"

namespace orvane {

using namespace resources;

namespace {
// The file a URL names: its path's last part, before any query.
std::string lastPathSegment(const std::string& url) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    return path.substr(path.find_last_of('/') + 1);
}
}  // namespace

CBrowserView::CBrowserView(CBrowserApp& app, ViewHost host)
    : app_(app), host_(host), rules_(app.endpoints()) {}

void CBrowserView::OnInitialUpdate() {
    m_pApp = &app_;
    app_.m_pBrowserView = this;
    m_szPendingUrl.clear();
    if (!app_.m_strInitialUrl.empty())
        NavigateTo(app_.m_strInitialUrl);
    else
        host_.control.GoHome();
}

void CBrowserView::NavigateTo(const std::string& url) {
    host_.control.Navigate2(url);
}

bool CBrowserView::ClassifyEventUrl(std::string& url, EventProtocol& protocol) const {
    protocol = rules_.ClassifyEventUrl(url);
    return protocol != EventProtocol::None;
}

void CBrowserView::OnBeforeNavigate2(const std::string& url, bool& cancel) {
    // A URL that does not fit the 256-byte fields is never diverted: the
    // control shows it like any other page.
    if (url.size() > kMaxUrlLength || closing_)
        return;
    std::string lowered = asciiLowered(url);
    EventProtocol protocol = EventProtocol::None;
    bool event = ClassifyEventUrl(lowered, protocol);
    if (DivertFtpNavigation(url, protocol, cancel) || !event)
        return;
    cancel = true;
    if (!EnsureDownloadDirectory(app_, host_.dialogs))
        return;
    m_szPendingUrl = lowered;
    m_szPendingLinkUrl = WithLinkLetters(url, lowered);
    pendingHttp_ = protocol == EventProtocol::Http;
    pendingViewer_ = true;
    ++parked_;
    host_.messages.PostViewMessage(protocol == EventProtocol::Http ? WM_START_HTTP_DOWNLOAD
                                                                   : WM_START_FTP_DOWNLOAD);
}

long CBrowserView::OnMessage(unsigned message) {
    if (message == WM_START_HTTP_DOWNLOAD || message == WM_START_FTP_DOWNLOAD)
        return OnStartDownload(message);
    return 0;
}

long CBrowserView::OnStartDownload(unsigned message) {
    if (m_szPendingUrl.empty() || closing_)
        return 1;
    // The status dialog's own loop may hand us a second start (a script or
    // another program navigating meanwhile): it waits for the running one
    // instead of opening a second dialog over it.
    if (running_) {
        deferred_ = message;
        return 1;
    }
    unsigned parkedAtStart = parked_;
    running_ = true;
    bool ownLetters = !m_szPendingLinkUrl.empty() && m_szPendingLinkUrl != m_szPendingUrl;
    int entry = app_.downloads().Add(lastPathSegment(m_szPendingUrl), "", pendingViewer_,
                                     [this] { host_.transfers.CancelRunning(); });
    TransferOutcome outcome =
        ownLetters ? host_.transfers.RunModal(m_szPendingLinkUrl, m_szPendingUrl, pendingHttp_)
                   : host_.transfers.RunModal(m_szPendingUrl, "", pendingHttp_);
    running_ = false;
    RecordOutcome(entry, outcome);
    if (!outcome.m_bFailed && !closing_ && pendingViewer_)
        app_.HandOffToViewer(outcome.m_szLocalPath,
                             [&downloads = app_.downloads(), entry](bool taken) {
                                 downloads.NoteViewer(entry, taken);
                             });
    if (closing_) {
        m_szPendingUrl.clear();
    } else if (deferred_ != 0) {
        host_.messages.PostViewMessage(deferred_);
        deferred_ = 0;
    } else if (parked_ == parkedAtStart) {
        // A download decided while this one ran keeps its URL for its own
        // message, which is still on its way.
        m_szPendingUrl.clear();
    }
    return 1;
}

// A folder ("/" at the end, also under the event prefixes) and any other
// ftp:// URL that is not an event file is listed, as the control cannot show
// FTP itself; a file that a listing page named is downloaded.
bool CBrowserView::DivertFtpNavigation(const std::string& url, EventProtocol protocol,
                                       bool& cancel) {
    if (!startsWithIgnoringCase(url, "ftp://"))
        return false;
    bool folder = url.back() == '/';
    if (protocol == EventProtocol::Ftp && !folder)
        return false;
    if (folder || listedFiles_.count(url) == 0) {
        StartListing(url);
        return true;
    }
    cancel = true;
    if (!EnsureDownloadDirectory(app_, host_.dialogs))
        return true;
    m_szPendingUrl = url;
    m_szPendingLinkUrl.clear();
    pendingHttp_ = false;
    pendingViewer_ = false;
    ++parked_;
    host_.messages.PostViewMessage(WM_START_FTP_DOWNLOAD);
    return true;
}

void CBrowserView::StartListing(const std::string& url) {
    if (listing_) {
        host_.transfers.CancelListing();
        host_.control.DropNavigation();
    }
    host_.control.HoldNavigation();
    listing_ = true;
    host_.transfers.StartListing(
        url, [this, url](const FolderListing& listing) { OnListing(url, listing); });
}

void CBrowserView::OnListing(const std::string& url, const FolderListing& listing) {
    listing_ = false;
    if (listing.failed) {
        host_.control.ReleaseNavigation(FtpListingFailurePage(url, listing.error));
        return;
    }
    for (const FtpListEntry& entry : listing.entries)
        if (entry.kind != FtpListEntry::Kind::Folder)
            listedFiles_.insert(EntryUrl(url, entry));
    host_.control.ReleaseNavigation(FtpListingPage(url, listing.entries));
}

void CBrowserView::RecordOutcome(int entry, const TransferOutcome& outcome) {
    DownloadList& downloads = app_.downloads();
    if (!outcome.m_bFailed) {
        std::error_code ec;
        auto size = std::filesystem::file_size(outcome.m_szLocalPath, ec);
        downloads.Finish(entry, outcome.m_szLocalPath, ec ? 0 : size);
    } else if (outcome.m_bCancelled) {
        downloads.MarkCancelled(entry);
    } else {
        downloads.Fail(entry, outcome.m_szError);
    }
}

void CBrowserView::OnFrameClosing() {
    closing_ = true;
    if (running_)
        host_.transfers.CancelRunning();
    if (listing_)
        host_.transfers.CancelListing();
}

bool CBrowserView::OnCommand(int id) {
    WebControl& control = host_.control;
    switch (id) {
        case ID_GO_BACK:
            control.GoBack();
            return true;
        case ID_GO_FORWARD:
            control.GoForward();
            return true;
        case ID_VIEW_STOP:
            if (listing_) {
                listing_ = false;
                host_.transfers.CancelListing();
                control.DropNavigation();
            }
            control.Stop();
            return true;
        case ID_VIEW_REFRESH:
            control.Refresh();
            return true;
        case ID_VIEW_RELOAD_BYPASS:
            control.RefreshBypassingCache();
            return true;
        case ID_FILE_PRINT:
            control.Print();
            return true;
        case ID_GO_START_PAGE:
            if (!app_.m_strStartPage.empty())
                NavigateTo(app_.m_strStartPage);
            else
                control.GoHome();
            return true;
        case ID_GO_NEW_EVENTS:
            NavigateTo(app_.endpoints().NewEventsUrl());
            return true;
        case ID_GO_EVENT_ARCHIVES:
            NavigateTo(app_.endpoints().EventArchiveUrl());
            return true;
        case ID_GO_SEED_ARCHIVES:
            NavigateTo(app_.endpoints().SeedArchiveUrl());
            return true;
        case ID_FILE_DOWNLOAD_DIRECTORY:
            ChooseDownloadDirectory(app_, host_.dialogs);
            return true;
        case ID_FILE_LOCATE_TREMORA:
            LocateViewer(app_, host_.dialogs);
            return true;
        default:
            return false;
    }
}

}  // namespace orvane
