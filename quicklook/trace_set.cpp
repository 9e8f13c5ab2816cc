#include "quicklook/trace_set.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvane::quicklook {

size_t Segment::size() const {
    return std::visit([](const auto& values) { return values.size(); }, samples);
}

double Segment::value(size_t index) const {
    return std::visit([index](const auto& values) { return static_cast<double>(values[index]); },
                      samples);
}

TimeUs Segment::end() const {
    return start +
           static_cast<TimeUs>(std::llround(static_cast<double>(size()) * 1e6 / sampleRate));
}

size_t Trace::sampleCount() const {
    size_t count = 0;
    for (const auto& segment : segments)
        count += segment.size();
    return count;
}

double Trace::firstSeconds() const {
    return segments.empty() ? 0 : segments.front().startSeconds();
}

double Trace::endSeconds() const {
    double end = firstSeconds();
    for (const auto& segment : segments)
        end = std::max(end, static_cast<double>(segment.end()) / 1e6);
    return end;
}

std::string channelId(const std::string& network, const std::string& station,
                      const std::string& location, const std::string& channel) {
    return network + "." + station + "." + location + "." + channel;
}

namespace {

bool sameRate(double a, double b) {
    return std::fabs(1.0 - a / b) < 0.0001;
}

// Whether the record's first sample is where the segment's next one is due.
bool continues(const Segment& segment, const RecordSamples& record) {
    if (!sameRate(segment.sampleRate, record.sampleRate) ||
        segment.samples.index() != record.samples.index())
        return false;
    double halfPeriodUs = 0.5e6 / record.sampleRate;
    return std::fabs(static_cast<double>(record.start - segment.end())) <= halfPeriodUs;
}

void append(SampleBuffer& to, const SampleView& from) {
    std::visit(
        [&from](auto& values) {
            using Sample = typename std::decay_t<decltype(values)>::value_type;
            auto more = std::get<std::span<const Sample>>(from);
            values.insert(values.end(), more.begin(), more.end());
        },
        to);
}

SampleBuffer copied(const SampleView& samples) {
    return std::visit(
        [](auto view) {
            using Sample = std::remove_const_t<typename decltype(view)::element_type>;
            return SampleBuffer(std::vector<Sample>(view.begin(), view.end()));
        },
        samples);
}

}  // namespace

Trace& TraceSet::traceFor(const std::string& id, double sampleRate) {
    // Files hold a channel's records one after the other: the last channel
    // is the likely one.
    for (auto it = traces_.rbegin(); it != traces_.rend(); ++it)
        if (it->id == id)
            return *it;
    traces_.push_back(Trace{id, sampleRate, {}});
    return traces_.back();
}

void TraceSet::add(const RecordSamples& record) {
    if (record.sampleRate <= 0 || !std::isfinite(record.sampleRate))
        return;
    Trace& trace = traceFor(record.id, record.sampleRate);
    // Looking back a few segments lets a channel go on after an overlap
    // that sits between two of its records.
    size_t count = trace.segments.size();
    for (size_t i = count; i > 0 && count - i < 4; --i) {
        if (continues(trace.segments[i - 1], record)) {
            append(trace.segments[i - 1].samples, record.samples);
            return;
        }
    }
    trace.segments.push_back(Segment{record.start, record.sampleRate, copied(record.samples), {}});
}

namespace {

// Channels of a station together, the vertical first, then north and east
// (Z N E, or 1 2 3 ... for other orientations) as seismograms are read.
std::pair<std::string, int> displayOrder(const std::string& id) {
    if (id.empty())
        return {id, 0};
    char orientation = id.back();
    int rank = orientation == 'Z' ? 0 : orientation == 'N' ? 1 : orientation == 'E' ? 2 : 3;
    return {id.substr(0, id.size() - 1), rank * 256 + static_cast<unsigned char>(orientation)};
}

}  // namespace

void TraceSet::finish() {
    std::sort(traces_.begin(), traces_.end(), [](const Trace& a, const Trace& b) {
        return displayOrder(a.id) < displayOrder(b.id);
    });
    for (auto& trace : traces_) {
        std::stable_sort(trace.segments.begin(), trace.segments.end(),
                         [](const Segment& a, const Segment& b) { return a.start < b.start; });
        for (auto& segment : trace.segments)
            std::visit([&segment](const auto& values) { segment.summary.build(values); },
                       segment.samples);
    }
}

double TraceSet::firstSeconds() const {
    double first = std::numeric_limits<double>::max();
    for (const auto& trace : traces_)
        first = std::min(first, trace.firstSeconds());
    return traces_.empty() ? 0 : first;
}

double TraceSet::endSeconds() const {
    double end = std::numeric_limits<double>::lowest();
    for (const auto& trace : traces_)
        end = std::max(end, trace.endSeconds());
    return traces_.empty() ? 0 : end;
}

}  // namespace orvane::quicklook
