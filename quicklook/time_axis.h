#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane::quicklook {

// A stretch of time, in seconds since 1970-01-01 UTC.
struct TimeWindow {
    double start = 0;
    double end = 1;
    double length() const { return end - start; }
};

struct Tick {
    double seconds = 0;
    std::string label;
};

// Ticks at round times (1 ms to 1 day apart) at least minSpacing pixels
// apart across `width` pixels, labelled with as much of the time of day as
// their spacing needs.
std::vector<Tick> timeTicks(const TimeWindow& window, int width, int minSpacing = 90);

// "2026-12-09", the UTC date at a time.
std::string utcDate(double seconds);
// "2026-12-09 12:00:03.250", to the millisecond.
std::string utcTimestamp(double seconds);

}  // namespace orvane::quicklook

namespace orvane::quicklook {

// The window scaled by `factor` (below 1 zooms in) about the time
// `around`, which stays where it is on the screen; never shorter than a
// millisecond.
TimeWindow zoomedAbout(const TimeWindow& window, double around, double factor);
// The window between two times given in either order; nullopt when they
// are too close together to be a range.
std::optional<TimeWindow> windowBetween(double a, double b);

}  // namespace orvane::quicklook
