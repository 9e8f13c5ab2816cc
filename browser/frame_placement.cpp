#include "browser/frame_placement.h"

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
    if (p.right <= p.left || p.bottom <= p.top) return std::nullopt;
    return p;
}

}  // namespace orvane
