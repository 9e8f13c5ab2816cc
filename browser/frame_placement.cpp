#include "browser/frame_placement.h"

#include <climits>
#include <sstream>

#include "platform/console.h"

namespace orvane {

std::string FramePlacement::Format() const {
    return formatText("%d %d %d %d %d %d %d %d", minX, minY, maxX, maxY, left, top, right, bottom);
}

std::optional<FramePlacement> FramePlacement::Parse(const std::string& text) {
    std::istringstream in(text);
    FramePlacement p;
    if (!(in >> p.minX >> p.minY >> p.maxX >> p.maxY >> p.left >> p.top >> p.right >> p.bottom))
        return std::nullopt;
    if (p.right <= p.left || p.bottom <= p.top)
        return std::nullopt;
    // The window is sized by right - left and bottom - top: a damaged setting
    // whose size does not fit an int would overflow there.
    const long long width = static_cast<long long>(p.right) - p.left;
    const long long height = static_cast<long long>(p.bottom) - p.top;
    if (width > INT_MAX || height > INT_MAX)
        return std::nullopt;
    return p;
}

}  // namespace orvane
