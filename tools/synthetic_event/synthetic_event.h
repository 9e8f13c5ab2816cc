#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quicklook/trace_set.h"

namespace orvane::quicklook {

// A local earthquake as three components would record it: background
// noise, the P arrival (strongest on the vertical), the S arrival (on the
// horizontals) and the coda dying away after it. Made up, for the demo
// network, the benchmarks and the pictures; the same event each time for
// the same seed.
struct SyntheticEvent {
    std::string network = "OV";
    std::string station = "ORV";
    TimeUs start = 1710498000000000;  // 2024-03-15 10:20:00 UTC
    double seconds = 120;
    double sampleRate = 100;
    double pArrival = 30;  // seconds after the start
    double sArrival = 42;
    double magnitude = 1;  // scales the arrivals over the noise
    uint32_t seed = 1;
};

// One component's counts: 0 is HHZ, 1 HHN, 2 HHE.
std::vector<int32_t> componentCounts(const SyntheticEvent& event, int component);
// The three components as miniSEED records (Steim-2 unless told).
std::string eventRecords(const SyntheticEvent& event, int recordLength = 4096, int encoding = 11);

}  // namespace orvane::quicklook
