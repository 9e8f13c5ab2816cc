#include "tools/synthetic_event/synthetic_event.h"

#include <cmath>

#include "quicklook/seed_writer.h"

namespace orvane::quicklook {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr const char* kChannels[] = {"HHZ", "HHN", "HHE"};
// How much of each arrival each component sees: P mostly up and down,
// S mostly sideways.
constexpr double kPShare[] = {1.0, 0.35, 0.3};
constexpr double kSShare[] = {0.4, 1.0, 0.85};

// A small random number source of our own, so that the event is the same
// on every machine.
class Noise {
  public:
    explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    double uniform() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(state_ >> 8) / 16777216.0 - 0.5;
    }
    // Noise with more of the low frequencies, as the ground has.
    double next() {
        smooth_ = 0.92 * smooth_ + uniform();
        return smooth_;
    }

  private:
    uint32_t state_;
    double smooth_ = 0;
};

// An arrival's envelope: a quick rise, then a decay over `decay` seconds.
double envelope(double sinceArrival, double decay) {
    if (sinceArrival < 0)
        return 0;
    return (1 - std::exp(-sinceArrival / 0.15)) * std::exp(-sinceArrival / decay);
}

}  // namespace

std::vector<int32_t> componentCounts(const SyntheticEvent& event, int component) {
    auto count = static_cast<size_t>(event.seconds * event.sampleRate);
    std::vector<int32_t> counts(count);
    Noise background(event.seed * 3 + static_cast<uint32_t>(component));
    Noise coda(event.seed * 7 + static_cast<uint32_t>(component) + 11);
    double pAmplitude = 2500 * event.magnitude * kPShare[component];
    double sAmplitude = 7000 * event.magnitude * kSShare[component];
    for (size_t i = 0; i < count; ++i) {
        double t = static_cast<double>(i) / event.sampleRate;
        double p = t - event.pArrival, s = t - event.sArrival;
        double value = 60 * background.next();
        value += pAmplitude * envelope(p, 2.5) * std::sin(2 * kPi * 7.5 * p + component);
        value += sAmplitude * envelope(s, 4.0) * std::sin(2 * kPi * 2.8 * s + 0.5 * component);
        value += sAmplitude * 0.12 * envelope(s, 25.0) * coda.next();
        counts[i] = static_cast<int32_t>(std::lround(value));
    }
    return counts;
}

std::string eventRecords(const SyntheticEvent& event, int recordLength, int encoding) {
    std::string records;
    for (int component = 0; component < 3; ++component) {
        PackRequest request;
        request.network = event.network;
        request.station = event.station;
        request.location = "";
        request.channel = kChannels[component];
        request.start = event.start;
        request.sampleRate = event.sampleRate;
        request.encoding = encoding;
        request.recordLength = recordLength;
        request.samples = componentCounts(event, component);
        records += packRecords(request);
    }
    return records;
}

}  // namespace orvane::quicklook
