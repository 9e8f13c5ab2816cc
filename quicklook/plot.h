#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quicklook/time_axis.h"
#include "quicklook/trace_set.h"

typedef struct _cairo cairo_t;

namespace orvane::quicklook {

// A run of pixel columns that one segment covers, with the extremes of
// its samples in each column.
struct ColumnRun {
    int firstColumn = 0;
    std::vector<ValueRange> columns;
};

// One trace's band of the picture.
struct Band {
    const Trace* trace = nullptr;
    int top = 0;
    int height = 0;
    // The extremes of what is in view, which the band spans.
    ValueRange range;
    std::vector<ColumnRun> runs;
};

// Everything a picture needs, worked out once for a window size and a time
// window; drawing it and reading the pointer from it cost nothing more.
struct PlotFrame {
    int width = 0;
    int height = 0;
    TimeWindow window;
    int axisTop = 0;
    std::vector<Band> bands;
    // Lines shown over the traces (what could not be read), or in place of
    // them when there are none.
    std::vector<std::string> notes;

    double secondsAt(double x) const;
    double xAt(double seconds) const;
};

inline constexpr int kAxisHeight = 36;

// The extremes of each pixel column of `width` columns spread over the
// window, for every segment of the trace that is in view.
std::vector<ColumnRun> reduceTrace(const Trace& trace, const TimeWindow& window, int width);

PlotFrame computeFrame(const TraceSet& traces, const TimeWindow& window, int width, int height);
void drawFrame(cairo_t* cairo, const PlotFrame& frame);

// What is under the pointer: its time, and the trace and value of the band
// it is in.
struct PointerReading {
    double seconds = 0;
    std::string traceId;
    std::optional<double> value;
};
PointerReading readPointer(const PlotFrame& frame, double x, double y);
std::string describePointer(const PointerReading& reading);

// "NET.STA.LOC.CHA  100 Hz"
std::string bandLabel(const Trace& trace);

}  // namespace orvane::quicklook
