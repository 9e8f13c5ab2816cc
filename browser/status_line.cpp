#include "browser/status_line.h"

#include "resources/browser_resources.h"

namespace orvane {

std::string StatusLine::Text() const {
    if (prompt_)
        return *prompt_;
    if (!link_.empty())
        return link_;
    if (loading_)
        return "Opening page " + loadingUrl_ + " ... " + std::to_string(percent_) + "%";
    if (!download_.empty())
        return download_;
    return resources::kIdleText;
}

}  // namespace orvane
