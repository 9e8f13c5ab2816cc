#pragma once

#include <functional>
#include <string>

namespace orvane {

// What the web control offers beyond navigation: searching the page's text
// and its zoom.
class PageTools {
  public:
    virtual ~PageTools() = default;
    // Looks for the text from the current match on, forwards or backwards,
    // wrapping at the end; the answer (the number of places) comes to
    // FindInPage::OnSearchResult.
    virtual void SearchText(const std::string& text, bool backwards) = 0;
    // Takes the highlighting of the last search away.
    virtual void EndSearch() = 0;
    virtual double ZoomLevel() const = 0;
    virtual void SetZoomLevel(double level) = 0;
    // Removes what sites have stored (cookies, caches, local storage);
    // done runs once it is gone.
    virtual void ClearBrowsingData(std::function<void()> done) = 0;
};

// The find bar on the desktop: an entry for the text and a result label.
class FindBarWindow {
  public:
    virtual ~FindBarWindow() = default;
    virtual void ShowFindBar(bool visible) = 0;
    // Puts the keyboard focus into the text, all of it selected.
    virtual void FocusFindText() = 0;
    virtual std::string FindText() const = 0;
    virtual void SetFindResult(const std::string& text) = 0;
    // Gives the keyboard focus back to the page.
    virtual void FocusPage() = 0;
};

inline constexpr char kNotFoundText[] = "Not found";

// Find in page: Ctrl+F opens the bar, Enter or F3 finds the next place,
// Shift+F3 the previous one, Esc closes the bar. The bar says how many
// places hold the text ("1 match", "3 matches"), or "Not found".
class FindInPage {
  public:
    void Attach(FindBarWindow& bar, PageTools& tools) {
        bar_ = &bar;
        tools_ = &tools;
    }
    void Open();
    void Next() { Search(false); }
    void Previous() { Search(true); }
    void Close();
    // The places the control found the text in (0: not on the page).
    void OnSearchResult(unsigned matches);
    bool isOpen() const { return open_; }

  private:
    void Search(bool backwards);

    FindBarWindow* bar_ = nullptr;
    PageTools* tools_ = nullptr;
    bool open_ = false;
};

// The zoom steps of Ctrl+plus and Ctrl+minus, from 30% to 300%; Ctrl+0 goes
// back to 1.0. A level between two steps moves to the next one.
double NextZoomLevel(double current, bool larger);

}  // namespace orvane
