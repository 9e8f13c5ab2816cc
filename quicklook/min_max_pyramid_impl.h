#pragma once

#include <algorithm>
#include <cstdint>

namespace orvane::quicklook {

namespace detail {
inline void widen(ValueRange& range, float value) {
    range.low = std::min(range.low, value);
    range.high = std::max(range.high, value);
}
inline void widen(ValueRange& range, const ValueRange& other) {
    range.low = std::min(range.low, other.low);
    range.high = std::max(range.high, other.high);
}
}  // namespace detail

template <typename Sample>
void MinMaxPyramid::addLevel0(const std::vector<Sample>& samples) {
    std::vector<ValueRange> level(samples.size() / kFanOut);
    for (size_t block = 0; block < level.size(); ++block) {
        // A plain loop rather than minmax_element: compilers vectorise it.
        const Sample* first = samples.data() + block * kFanOut;
        Sample low = first[0], high = first[0];
        for (size_t i = 1; i < kFanOut; ++i) {
            low = std::min(low, first[i]);
            high = std::max(high, first[i]);
        }
        level[block] = {static_cast<float>(low), static_cast<float>(high)};
    }
    levels_.push_back(std::move(level));
}

inline void MinMaxPyramid::addLevelAbove() {
    const auto& below = levels_.back();
    std::vector<ValueRange> level(below.size() / kFanOut);
    for (size_t block = 0; block < level.size(); ++block) {
        ValueRange range = below[block * kFanOut];
        for (size_t i = 1; i < kFanOut; ++i)
            detail::widen(range, below[block * kFanOut + i]);
        level[block] = range;
    }
    levels_.push_back(std::move(level));
}

template <typename Sample>
void MinMaxPyramid::build(const std::vector<Sample>& samples) {
    levels_.clear();
    addLevel0(samples);
    while (levels_.back().size() >= kFanOut)
        addLevelAbove();
}

template <typename Sample>
ValueRange MinMaxPyramid::range(const std::vector<Sample>& samples, size_t first,
                                size_t last) const {
    auto value = static_cast<float>(samples[first]);
    ValueRange range{value, value};
    size_t next = first;  // the first sample not yet looked at
    size_t end = last + 1;
    while (next < end) {
        // The largest block that starts at `next` and fits before `end`.
        size_t span = 1;
        int level = -1;
        while (level + 1 < static_cast<int>(levels_.size()) && next % (span * kFanOut) == 0 &&
               next + span * kFanOut <= end &&
               (next / (span * kFanOut)) < levels_[level + 1].size()) {
            span *= kFanOut;
            ++level;
        }
        if (level < 0)
            detail::widen(range, static_cast<float>(samples[next]));
        else
            detail::widen(range, levels_[level][next / span]);
        next += span;
    }
    return range;
}

}  // namespace orvane::quicklook
