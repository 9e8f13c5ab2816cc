#pragma once

#include <webkit2/webkit2.h>

#include <string>

#include "browser/view.h"

namespace orvane {

// The hosted web control on WebKitGTK. Every navigation of the page and of
// its frames, new-window requests included, is offered to the view before
// it happens; the page's title and finished loads are reported to it.
class WebKitControl final : public WebControl {
  public:
    explicit WebKitControl(std::string homePage);
    ~WebKitControl() override;
    WebKitControl(const WebKitControl&) = delete;
    WebKitControl& operator=(const WebKitControl&) = delete;

    GtkWidget* widget() { return GTK_WIDGET(view_); }
    void AttachView(CBrowserView& view);

    void Navigate2(const std::string& url) override;
    void GoBack() override { webkit_web_view_go_back(view_); }
    void GoForward() override { webkit_web_view_go_forward(view_); }
    void GoHome() override { Navigate2(homePage_); }
    void Stop() override { webkit_web_view_stop_loading(view_); }
    void Refresh() override { webkit_web_view_reload(view_); }
    void Print() override;

  private:
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer self);
    static void onTitle(WebKitWebView* view, GParamSpec*, gpointer self);
    static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
    void OpenInThisView(const std::string& url);

    std::string homePage_;
    WebKitWebView* view_;
    CBrowserView* browserView_ = nullptr;
    guint pendingOpen_ = 0;
    std::string pendingUrl_;
};

}  // namespace orvane
