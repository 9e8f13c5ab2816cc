#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// "12.3 MB" and the like: bytes, kB, MB or GB with one decimal above bytes.
std::string ReadableSize(std::int64_t bytes);
// "12.3 of 50.0 MB": the count in the total's unit; without a total (0 or
// less) the count alone.
std::string ReadableShare(std::int64_t done, std::int64_t total);

// The rate of a transfer from its byte counts as they grow: measured over
// half a second at a time and smoothed, so that the time left drawn from
// it does not jump with every burst or pause of the link. A count that
// falls (a download that starts again) starts the measure again.
class TransferRate {
  public:
    void Sample(std::int64_t bytes, std::int64_t nowMs);
    // Bytes a second; -1 until a whole second has been measured.
    double bytesPerSecond() const { return measuredMs_ >= kShownAfterMs ? rate_ : -1; }

  private:
    static constexpr std::int64_t kWindowMs = 500;
    static constexpr std::int64_t kShownAfterMs = 1000;
    static constexpr double kWeight = 0.3;  // of the newest window
    bool started_ = false;
    std::int64_t windowBytes_ = 0;
    std::int64_t windowStartMs_ = 0;
    std::int64_t measuredMs_ = 0;
    double rate_ = -1;
};

// "12.3 of 50.0 MB, 4.1 MB/s, 9 s left"; "12.3 MB, 4.1 MB/s" without a
// total; the rate and the time left only once the rate is known.
std::string ProgressText(std::int64_t done, std::int64_t total, double bytesPerSecond);

}  // namespace orvane
