#include "transfer/progress_text.h"

#include <cmath>
#include <iterator>

#include "platform/console.h"

namespace orvane {

namespace {

struct SizeUnit {
    double divisor;
    const char* name;
};

// The decimal unit a size is best read in: bytes below 1000, then kB, MB...
SizeUnit UnitFor(std::int64_t bytes) {
    constexpr SizeUnit kUnits[] = {
        {1, "bytes"}, {1e3, "kB"}, {1e6, "MB"}, {1e9, "GB"}, {1e12, "TB"}};
    std::size_t unit = 0;
    while (unit + 1 < std::size(kUnits) && static_cast<double>(bytes) >= kUnits[unit + 1].divisor)
        ++unit;
    return kUnits[unit];
}

std::string InUnit(std::int64_t bytes, SizeUnit unit) {
    if (unit.divisor == 1)
        return std::to_string(bytes);
    return formatText("%.1f", static_cast<double>(bytes) / unit.divisor);
}

// "9 s left", "12 min left", "3 h left".
std::string TimeLeftText(double seconds) {
    auto whole = static_cast<long long>(std::ceil(seconds));
    if (whole < 100)
        return formatText("%lld s left", whole);
    if (whole < 100 * 60)
        return formatText("%lld min left", (whole + 30) / 60);
    return formatText("%lld h left", (whole + 1800) / 3600);
}

}  // namespace

std::string ReadableSize(std::int64_t bytes) {
    SizeUnit unit = UnitFor(bytes);
    return InUnit(bytes, unit) + " " + unit.name;
}

std::string ReadableShare(std::int64_t done, std::int64_t total) {
    if (total <= 0)
        return ReadableSize(done);
    return InUnit(done, UnitFor(total)) + " of " + ReadableSize(total);
}

void TransferRate::Sample(std::int64_t bytes, std::int64_t nowMs) {
    if (!started_ || bytes < windowBytes_) {
        *this = TransferRate();
        started_ = true;
        windowBytes_ = bytes;
        windowStartMs_ = nowMs;
        return;
    }
    std::int64_t spent = nowMs - windowStartMs_;
    if (spent < kWindowMs)
        return;
    double newest = static_cast<double>(bytes - windowBytes_) * 1000.0 / static_cast<double>(spent);
    rate_ = rate_ < 0 ? newest : rate_ + kWeight * (newest - rate_);
    measuredMs_ += spent;
    windowBytes_ = bytes;
    windowStartMs_ = nowMs;
}

std::string ProgressText(std::int64_t done, std::int64_t total, double bytesPerSecond) {
    std::string text = ReadableShare(done, total);
    if (bytesPerSecond < 0)
        return text;
    text += ", " + ReadableSize(std::llround(bytesPerSecond)) + "/s";
    if (total > done && bytesPerSecond > 0)
        text += ", " + TimeLeftText(static_cast<double>(total - done) / bytesPerSecond);
    return text;
}

}  // namespace orvane
