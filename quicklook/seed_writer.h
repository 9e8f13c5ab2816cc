#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "quicklook/trace_set.h"

namespace orvane::quicklook {

// What to pack into miniSEED records: one channel's samples from a start
// time on, in one encoding (libmseed's DE_ codes: Steim-1 10, Steim-2 11,
// int16 1, int32 3, float32 4, float64 5) and record length.
struct PackRequest {
    std::string network = "XX";
    std::string station = "ORV";
    std::string location = "00";
    std::string channel = "HHZ";
    TimeUs start = 0;
    double sampleRate = 100;
    int encoding = 11;
    int recordLength = 512;
    // int32 samples for the integer encodings, float or double for the others.
    SampleBuffer samples;
};

// The records, big-endian with blockette 1000 as SEED 2.4 has them; empty
// when libmseed refuses the request (an encoding that does not fit the
// sample type).
std::string packRecords(const PackRequest& request);

}  // namespace orvane::quicklook
