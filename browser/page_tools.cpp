#include "browser/page_tools.h"

#include <array>
#include <string>

namespace orvane {

namespace {
constexpr std::array kZoomSteps = {0.3, 0.5,  0.67, 0.8, 0.9, 1.0, 1.1,
                                   1.2, 1.33, 1.5,  1.7, 2.0, 2.4, 3.0};
// Levels this close count as the same step (a level read back from the
// control may differ from the one set in its last digits).
constexpr double kSameLevel = 0.005;
}  // namespace

double NextZoomLevel(double current, bool larger) {
    if (larger) {
        for (double step : kZoomSteps)
            if (step > current + kSameLevel)
                return step;
        return kZoomSteps.back();
    }
    for (auto step = kZoomSteps.rbegin(); step != kZoomSteps.rend(); ++step)
        if (*step < current - kSameLevel)
            return *step;
    return kZoomSteps.front();
}

void FindInPage::Open() {
    if (!bar_)
        return;
    open_ = true;
    bar_->ShowFindBar(true);
    bar_->FocusFindText();
}

void FindInPage::Search(bool backwards) {
    if (!bar_)
        return;
    // F3 before anything was looked for opens the bar to ask for the text.
    if (!open_ || bar_->FindText().empty()) {
        Open();
        return;
    }
    bar_->SetFindResult("");
    tools_->SearchText(bar_->FindText(), backwards);
}

void FindInPage::Close() {
    if (!open_)
        return;
    open_ = false;
    tools_->EndSearch();
    bar_->SetFindResult("");
    bar_->ShowFindBar(false);
    bar_->FocusPage();
}

void FindInPage::OnSearchResult(unsigned matches) {
    if (!open_)
        return;
    if (matches == 0)
        bar_->SetFindResult(kNotFoundText);
    else
        bar_->SetFindResult(std::to_string(matches) + (matches == 1 ? " match" : " matches"));
}

}  // namespace orvane
