#pragma once

#include <string>

namespace orvane {

class CBrowserApp;

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
    virtual void Print() = 0;
};

// The frame's side of the view: its caption and address box.
class ViewFrame {
public:
    virtual ~ViewFrame() = default;
    // The document's title; the frame shows it before " - Orvane Explorer".
    virtual void SetDocumentTitle(const std::string& title) = 0;
    virtual void ShowAddress(const std::string& url) = 0;
};

// The single view of the browser, around the hosted web control.
class CBrowserView {
public:
    CBrowserView(CBrowserApp& app, WebControl& control, ViewFrame& frame);

    // First update: registers with the application and shows the initial URL
    // or the home page.
    void OnInitialUpdate();
    void NavigateTo(const std::string& url);
    void OnTitleChange(const std::string& title) { frame_.SetDocumentTitle(title); }
    void OnDocumentComplete(const std::string& url) { frame_.ShowAddress(url); }

    WebControl& control() { return control_; }

    std::string m_szPendingUrl;
    CBrowserApp* m_pApp = nullptr;

private:
    CBrowserApp& app_;
    WebControl& control_;
    ViewFrame& frame_;
};

}  // namespace orvane
