#pragma once

#include <webkit2/webkit2.h>

#include <set>
#include <string>

#include "browser/gtk/idle_call.h"
#include "browser/page_tools.h"
#include "browser/view.h"

namespace orvane {

class PageActivity;
class PageDownloads;

// The hosted web control on WebKitGTK. Every navigation of the page and of
// its frames, new-window requests included, is offered to the view before
// it happens; the page's title and finished loads are reported to it.
class WebKitControl final : public WebControl, public PageTools {
  public:
    explicit WebKitControl(std::string homePage);
    ~WebKitControl() override;
    WebKitControl(const WebKitControl&) = delete;
    WebKitControl& operator=(const WebKitControl&) = delete;

    GtkWidget* widget() { return GTK_WIDGET(view_); }
    void AttachView(CBrowserView& view);
    // Where hovering, loading, history, search results and files to save
    // are reported.
    void AttachPage(PageActivity& activity, FindInPage& find, PageDownloads& downloads);
    // Whether the keyboard focus in the page is in an editable element (a
    // text field, a text area, an editable region).
    bool EditingText() const { return editingText_; }

    void Navigate2(const std::string& url) override;
    void GoBack() override { webkit_web_view_go_back(view_); }
    void GoForward() override { webkit_web_view_go_forward(view_); }
    void GoHome() override { Navigate2(homePage_); }
    void Stop() override { webkit_web_view_stop_loading(view_); }
    void Refresh() override { webkit_web_view_reload(view_); }
    void RefreshBypassingCache() override { webkit_web_view_reload_bypass_cache(view_); }
    void Print() override;
    void HoldNavigation() override { holdRequested_ = true; }
    void ReleaseNavigation(const std::string& page) override;
    void DropNavigation() override;

    void SearchText(const std::string& text, bool backwards) override;
    void EndSearch() override;
    double ZoomLevel() const override { return webkit_web_view_get_zoom_level(view_); }
    void SetZoomLevel(double level) override;
    void ClearBrowsingData(std::function<void()> done) override;

  private:
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer self);
    static void onTitle(WebKitWebView* view, GParamSpec*, gpointer self);
    static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
    static gboolean onLoadFailed(WebKitWebView* view, WebKitLoadEvent, gchar* uri, GError*,
                                 gpointer self);
    void OpenInThisView(const std::string& url);
    // A response the page cannot show is saved as a file instead.
    static gboolean DecideResponse(WebKitPolicyDecision* decision);
    void ConnectPageSignals();
    void DisconnectPageSignals();
    void ReportHistory();
    static void onMouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer self);
    static void onProgress(WebKitWebView* view, GParamSpec*, gpointer self);
    static void onHistoryChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer,
                                 gpointer self);
    static void onFound(WebKitFindController*, guint, gpointer self);
    static void onNotFound(WebKitFindController*, gpointer self);
    static void onEditingMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                 gpointer self);
    static gboolean onTlsErrors(WebKitWebView* view, char* uri, GTlsCertificate* certificate,
                                GTlsCertificateFlags errors, gpointer self);
    static void onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self);
    static gboolean onDecideDestination(WebKitDownload* download, gchar* suggested, gpointer self);
    static void onDownloadData(WebKitDownload* download, guint64, gpointer self);
    static void onDownloadFailed(WebKitDownload* download, GError* error, gpointer self);
    static void onDownloadFinished(WebKitDownload* download, gpointer self);
    void ForgetDownload(WebKitDownload* download);

    std::string homePage_;
    WebKitWebView* view_;
    CBrowserView* browserView_ = nullptr;
    IdleCall pendingOpen_{[this] {
        if (browserView_)
            browserView_->NavigateTo(pendingUrl_);
    }};
    std::string pendingUrl_;
    PageActivity* activity_ = nullptr;
    FindInPage* find_ = nullptr;
    PageDownloads* downloads_ = nullptr;
    // The frames of the page whose focus is in an editable element.
    std::set<std::string> editingFrames_;
    bool editingText_ = false;
    std::set<WebKitDownload*> downloadsRunning_;
    std::string searched_;
    // A navigation held for the view (see HoldNavigation), and the page
    // that is shown under its URL once WebKit, which has no FTP, has failed
    // to load it: shown from the failure, the history stays right.
    bool holdRequested_ = false;
    WebKitPolicyDecision* held_ = nullptr;
    std::string heldUrl_;
    std::string alternateUrl_;
    std::string alternatePage_;
};

}  // namespace orvane
