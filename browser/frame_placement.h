#pragma once

#include <optional>
#include <string>

namespace orvane {

// The frame's window placement as the settings file keeps it: minimised
// position, maximised position, then the normal rectangle.
struct FramePlacement {
    int minX = -1, minY = -1;
    int maxX = -1, maxY = -1;
    int left = 0, top = 0, right = 0, bottom = 0;

    std::string Format() const;
    // nullopt unless the text holds all eight integers; a partial text is
    // ignored so that a damaged setting never yields a zero-sized window.
    static std::optional<FramePlacement> Parse(const std::string& text);
    bool operator==(const FramePlacement&) const = default;
};

}  // namespace orvane
