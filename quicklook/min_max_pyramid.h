#pragma once

#include <cstddef>
#include <vector>

namespace orvane::quicklook {

struct ValueRange {
    float low = 0;
    float high = 0;
};

// Minimum and maximum of every block of 16 samples, of every 16 of those
// blocks, and so on: the extremes of any run of samples then cost a few
// dozen steps whatever its length, so a redraw costs the window's width
// and not the number of samples.
class MinMaxPyramid {
  public:
    static constexpr size_t kFanOut = 16;

    template <typename Sample>
    void build(const std::vector<Sample>& samples);
    // Extremes of samples[first..last] (inclusive, last < count), given the
    // samples themselves for the ends that fill no whole block.
    template <typename Sample>
    ValueRange range(const std::vector<Sample>& samples, size_t first, size_t last) const;

  private:
    template <typename Sample>
    void addLevel0(const std::vector<Sample>& samples);
    void addLevelAbove();
    // levels_[k] holds one range per kFanOut^(k+1) samples.
    std::vector<std::vector<ValueRange>> levels_;
};

}  // namespace orvane::quicklook

#include "quicklook/min_max_pyramid_impl.h"
