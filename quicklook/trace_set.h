#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "quicklook/min_max_pyramid.h"

namespace orvane::quicklook {

// Samples as the records carried them: integers (Steim-1, Steim-2, 16- and
// 32-bit integers), 32- or 64-bit floats. Kept in their own type so that a
// day of integer data costs four bytes a sample, not eight.
using SampleBuffer = std::variant<std::vector<int32_t>, std::vector<float>, std::vector<double>>;

// Microseconds since 1970-01-01 UTC, the resolution of a SEED record's time.
using TimeUs = int64_t;

// Samples without a gap or an overlap between them.
struct Segment {
    TimeUs start = 0;
    double sampleRate = 0;
    SampleBuffer samples;
    MinMaxPyramid summary;

    size_t size() const;
    double value(size_t index) const;
    // Time of the sample after the last one.
    TimeUs end() const;
    double startSeconds() const { return static_cast<double>(start) / 1e6; }
};

// One channel, NET.STA.LOC.CHA: its segments in time order.
struct Trace {
    std::string id;
    double sampleRate = 0;
    std::vector<Segment> segments;

    size_t sampleCount() const;
    // First sample to the end of the last, in seconds since 1970.
    double firstSeconds() const;
    double endSeconds() const;
};

// A record's samples where they are (libmseed's buffer, a test's vector),
// copied once, into the trace.
using SampleView =
    std::variant<std::span<const int32_t>, std::span<const float>, std::span<const double>>;

// The samples of one record, about to join its channel's trace.
struct RecordSamples {
    std::string id;
    TimeUs start = 0;
    double sampleRate = 0;
    SampleView samples;
};

// The channels of the files opened, with their records merged into segments.
class TraceSet {
  public:
    // A record that continues its channel's last segment to within half a
    // sample joins it; any other (a gap, an overlap, another rate or sample
    // type) starts a segment of its own.
    void add(const RecordSamples& record);
    // Sorts channels by name and segments by time, and summarises them.
    void finish();

    const std::vector<Trace>& traces() const { return traces_; }
    bool empty() const { return traces_.empty(); }
    double firstSeconds() const;
    double endSeconds() const;

  private:
    Trace& traceFor(const std::string& id, double sampleRate);
    std::vector<Trace> traces_;
};

// NET.STA.LOC.CHA from the header's codes (an empty location stays empty).
std::string channelId(const std::string& network, const std::string& station,
                      const std::string& location, const std::string& channel);

}  // namespace orvane::quicklook
