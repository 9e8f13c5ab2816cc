// The SEED reader on any bytes, fed whole and in two pieces: it must never
// crash or hang, both ways must read the same, and every segment it keeps
// must hold samples that the pixel columns and the pyramid can cover.
#include <cstdint>
#include <cstring>
#include <string>

#include "quicklook/plot.h"
#include "quicklook/seed_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace orvane::quicklook;
using orvane::fuzz::require;

struct Outcome {
    TraceSet traces;
    ReadReport report;
};

void read(const uint8_t* data, size_t size, size_t split, Outcome& outcome) {
    SeedReader reader(outcome.traces);
    const char* bytes = reinterpret_cast<const char*>(data);
    reader.feed(bytes, split);
    reader.feed(bytes + split, size - split);
    outcome.report = reader.finish();
    outcome.traces.finish();
}

size_t samplesOf(const TraceSet& traces) {
    size_t count = 0;
    for (const auto& trace : traces.traces())
        count += trace.sampleCount();
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Outcome whole, pieces;
    read(data, size, size, whole);
    read(data, size, size == 0 ? 0 : data[0] % size, pieces);
    require(whole.report.dataRecords == pieces.report.dataRecords, "records differ by pieces");
    require(samplesOf(whole.traces) == samplesOf(pieces.traces), "samples differ by pieces");
    require(whole.report.otherBytes <= size, "more bytes skipped than given");
    for (const auto& trace : whole.traces.traces()) {
        require(!trace.segments.empty(), "a trace without segments");
        for (const auto& segment : trace.segments) {
            require(segment.size() > 0 && segment.sampleRate > 0, "an empty segment");
            reduceTrace(trace, {segment.startSeconds(), segment.startSeconds() + 1}, 64);
        }
    }
    PlotFrame frame = computeFrame(
        whole.traces, {whole.traces.firstSeconds(), whole.traces.firstSeconds() + 60}, 200, 120);
    require(frame.bands.size() == whole.traces.traces().size(), "a band per trace");
    return 0;
}
