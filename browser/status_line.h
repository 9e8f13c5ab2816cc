#pragma once

#include <optional>
#include <string>

namespace orvane {

// The status bar once View / Clear Browsing Data has done its work.
inline constexpr char kBrowsingDataClearedText[] = "Browsing data cleared";

// What goes on in the page, as the web control reports it to the frame.
class PageActivity {
  public:
    virtual ~PageActivity() = default;
    // The link under the mouse pointer; empty when the pointer left it.
    virtual void OnLinkHover(const std::string& url) = 0;
    virtual void OnLoadStarted(const std::string& url) = 0;
    virtual void OnLoadProgress(int percent) = 0;
    virtual void OnLoadFinished() = 0;
    // Whether Back and Forward have a page to go to.
    virtual void OnHistoryChanged(bool canGoBack, bool canGoForward) = 0;
    // A file being saved from a page; empty when none is.
    virtual void OnDownloadStatus(const std::string& text) = 0;
};

// The message pane's text, from what goes on: a menu item or button under
// the pointer shows its prompt, else a link under the pointer its URL, else
// a page being opened "Opening page URL ... N%", else a download under way,
// else "Ready".
class StatusLine {
  public:
    void SetPrompt(std::optional<std::string> prompt) { prompt_ = std::move(prompt); }
    void SetHoveredLink(std::string url) { link_ = std::move(url); }
    void SetLoading(std::string url) {
        loadingUrl_ = std::move(url);
        percent_ = 0;
        loading_ = true;
    }
    void SetLoadProgress(int percent) { percent_ = percent; }
    void SetLoaded() { loading_ = false; }
    void SetDownload(std::string text) { download_ = std::move(text); }

    std::string Text() const;

  private:
    std::optional<std::string> prompt_;
    std::string link_;
    bool loading_ = false;
    std::string loadingUrl_;
    int percent_ = 0;
    std::string download_;
};

}  // namespace orvane
