#include "quicklook/time_axis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace orvane::quicklook {

namespace {

constexpr std::array<double, 31> kSteps{0.001, 0.002, 0.005, 0.01,   0.02,   0.05,   0.1,    0.2,
                                        0.5,   1,     2,     5,      10,     15,     30,     60,
                                        120,   300,   600,   900,    1800,   3600,   7200,   10800,
                                        21600, 43200, 86400, 172800, 432000, 864000, 2592000};

std::tm utc(double seconds) {
    std::time_t whole = static_cast<std::time_t>(std::floor(seconds));
    std::tm parts{};
    gmtime_r(&whole, &parts);
    return parts;
}

std::string format(const char* pattern, const std::tm& parts) {
    char text[64];
    size_t length = std::strftime(text, sizeof text, pattern, &parts);
    return std::string(text, length);
}

// Milliseconds of a time, rounded so that 12:00:00.9996 reads 12:00:01.000.
double roundedToMs(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

std::string tickLabel(double seconds, double step) {
    double rounded = roundedToMs(seconds);
    std::tm parts = utc(rounded);
    if (step >= 86400)
        return format("%m-%d", parts);
    if (step >= 60)
        return format("%H:%M", parts);
    std::string label = format("%H:%M:%S", parts);
    if (step >= 1)
        return label;
    int ms = static_cast<int>(std::lround((rounded - std::floor(rounded)) * 1000.0)) % 1000;
    char fraction[8];
    int digits = step >= 0.1 ? 1 : step >= 0.01 ? 2 : 3;
    std::snprintf(fraction, sizeof fraction, ".%03d", ms);
    return label + std::string(fraction, 1 + digits);
}

}  // namespace

std::vector<Tick> timeTicks(const TimeWindow& window, int width, int minSpacing) {
    std::vector<Tick> ticks;
    if (width <= 0 || !(window.length() > 0))
        return ticks;
    double wanted = window.length() * minSpacing / width;
    double step = kSteps.back();
    for (double candidate : kSteps)
        if (candidate >= wanted) {
            step = candidate;
            break;
        }
    // Counted in whole steps, so that a thousand ticks add no rounding.
    for (double k = std::ceil(window.start / step); k * step <= window.end && ticks.size() < 1000;
         k += 1)
        ticks.push_back({k * step, tickLabel(k * step, step)});
    return ticks;
}

std::string utcDate(double seconds) {
    return format("%Y-%m-%d", utc(roundedToMs(seconds)));
}

std::string utcTimestamp(double seconds) {
    double rounded = roundedToMs(seconds);
    int ms = static_cast<int>(std::lround((rounded - std::floor(rounded)) * 1000.0)) % 1000;
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", ms);
    return format("%Y-%m-%d %H:%M:%S", utc(rounded)) + fraction;
}

}  // namespace orvane::quicklook

namespace orvane::quicklook {

namespace {
constexpr double kShortestWindow = 0.001;
}

TimeWindow zoomedAbout(const TimeWindow& window, double around, double factor) {
    double length = std::max(window.length() * factor, kShortestWindow);
    double share = (around - window.start) / window.length();
    double start = around - share * length;
    return {start, start + length};
}

std::optional<TimeWindow> windowBetween(double a, double b) {
    if (std::fabs(b - a) < kShortestWindow)
        return std::nullopt;
    return TimeWindow{std::min(a, b), std::max(a, b)};
}

}  // namespace orvane::quicklook
