#include "browser/view.h"

#include "browser/app.h"

namespace orvane {

CBrowserView::CBrowserView(CBrowserApp& app, WebControl& control, ViewFrame& frame)
    : app_(app), control_(control), frame_(frame) {}

void CBrowserView::OnInitialUpdate() {
    m_pApp = &app_;
    app_.m_pBrowserView = this;
    m_szPendingUrl.clear();
    if (!app_.m_strInitialUrl.empty())
        NavigateTo(app_.m_strInitialUrl);
    else
        control_.GoHome();
}

void CBrowserView::NavigateTo(const std::string& url) { control_.Navigate2(url); }

}  // namespace orvane
