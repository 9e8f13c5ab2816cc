#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "quicklook/seed_writer.h"

namespace orvane::quicklook::testing {

// 2026-03-15 10:20:30.125 UTC, in microseconds.
inline constexpr TimeUs kStart = 1773570030125000;

// A wave with some noise in it, within the range of 16-bit integers, so
// that every encoding holds it exactly.
inline std::vector<int32_t> wave(size_t count, int seed = 1) {
    std::vector<int32_t> values(count);
    uint32_t state = static_cast<uint32_t>(seed) * 2654435761u;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        double swing = 9000 * std::sin(static_cast<double>(i) / 17.0 + seed);
        values[i] = static_cast<int32_t>(swing) + static_cast<int32_t>(state >> 22) - 512;
    }
    return values;
}

template <typename To>
std::vector<To> converted(const std::vector<int32_t>& values) {
    return std::vector<To>(values.begin(), values.end());
}

inline PackRequest channel(const std::string& code, TimeUs start, std::vector<int32_t> values,
                           int recordLength = 512) {
    PackRequest request;
    request.channel = code;
    request.start = start;
    request.recordLength = recordLength;
    request.samples = std::move(values);
    return request;
}

// A SEED volume's control header record: sequence number, type and text
// blockettes, padded with blanks to the volume's record length.
inline std::string controlRecord(int sequence, char type, const std::string& text,
                                 size_t length = 4096) {
    char head[9];
    std::snprintf(head, sizeof head, "%06d%c ", sequence, type);
    std::string record = head + text;
    record.resize(length, ' ');
    return record;
}

}  // namespace orvane::quicklook::testing
