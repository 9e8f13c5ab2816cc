#include "quicklook/plot.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvane::quicklook {

double PlotFrame::secondsAt(double x) const {
    return window.start + x * window.length() / std::max(width, 1);
}

double PlotFrame::xAt(double seconds) const {
    return (seconds - window.start) * std::max(width, 1) / window.length();
}

namespace {

// Columns of one segment: column x spans [x, x+1) pixels; it takes the
// samples from the one at or before its start to the one at or before its
// end, so neighbouring columns share a sample and the line stays joined.
ColumnRun reduceSegment(const Segment& segment, const TimeWindow& window, int width) {
    ColumnRun run;
    size_t count = segment.size();
    if (count == 0)
        return run;
    double columnSeconds = window.length() / width;
    double offset = segment.startSeconds() - window.start;  // segment start from the window's
    double lastSampleAt = offset + static_cast<double>(count - 1) / segment.sampleRate;
    // Worked out in floating point first: a segment far outside the window
    // lies any number of columns away.
    double firstColumn = std::floor(offset / columnSeconds);
    double lastColumn = std::floor(lastSampleAt / columnSeconds);
    if (!(lastColumn >= 0 && firstColumn <= width - 1.0))
        return run;
    int first = static_cast<int>(std::max(0.0, firstColumn));
    int last = static_cast<int>(std::min(width - 1.0, lastColumn));
    run.firstColumn = first;
    run.columns.reserve(static_cast<size_t>(last - first + 1));
    double maxIndex = static_cast<double>(count - 1);
    for (int x = first; x <= last; ++x) {
        double from = std::floor((x * columnSeconds - offset) * segment.sampleRate);
        double to = std::floor(((x + 1) * columnSeconds - offset) * segment.sampleRate);
        auto low = static_cast<size_t>(std::clamp(from, 0.0, maxIndex));
        auto high = static_cast<size_t>(std::clamp(to, 0.0, maxIndex));
        run.columns.push_back(
            std::visit([&](const auto& values) { return segment.summary.range(values, low, high); },
                       segment.samples));
    }
    return run;
}

ValueRange overallRange(const std::vector<ColumnRun>& runs) {
    bool any = false;
    ValueRange all;
    for (const auto& run : runs)
        for (const auto& column : run.columns) {
            all = any ? ValueRange{std::min(all.low, column.low), std::max(all.high, column.high)}
                      : column;
            any = true;
        }
    return all;
}

}  // namespace

std::vector<ColumnRun> reduceTrace(const Trace& trace, const TimeWindow& window, int width) {
    std::vector<ColumnRun> runs;
    if (width <= 0 || !(window.length() > 0))
        return runs;
    for (const auto& segment : trace.segments) {
        ColumnRun run = reduceSegment(segment, window, width);
        if (!run.columns.empty())
            runs.push_back(std::move(run));
    }
    return runs;
}

PlotFrame computeFrame(const TraceSet& traces, const TimeWindow& window, int width, int height) {
    PlotFrame frame;
    frame.width = width;
    frame.height = height;
    frame.window = window;
    frame.axisTop = std::max(0, height - kAxisHeight);
    const auto& all = traces.traces();
    if (all.empty())
        return frame;
    int bandHeight = frame.axisTop / static_cast<int>(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        Band band{&all[i], static_cast<int>(i) * bandHeight, bandHeight, {}, {}};
        band.runs = reduceTrace(all[i], window, width);
        band.range = overallRange(band.runs);
        frame.bands.push_back(std::move(band));
    }
    return frame;
}

std::string bandLabel(const Trace& trace) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g Hz", trace.sampleRate);
    return trace.id + "  " + rate;
}

namespace {

// Band coordinates: the band's range spread over its height less a margin.
double yOf(const Band& band, double value) {
    double margin = std::min(6, band.height / 8);
    double span = band.range.high - band.range.low;
    double usable = band.height - 2 * margin;
    if (!(span > 0))
        return band.top + band.height / 2.0;
    return band.top + margin + (band.range.high - value) / span * usable;
}

std::optional<double> valueOf(const Band& band, double y) {
    double margin = std::min(6, band.height / 8);
    double span = band.range.high - band.range.low;
    double usable = band.height - 2 * margin;
    if (band.runs.empty() || usable <= 0)
        return std::nullopt;
    if (!(span > 0))
        return band.range.low;
    return band.range.high - (y - band.top - margin) / usable * span;
}

void drawText(cairo_t* cairo, double x, double y, const std::string& text) {
    cairo_move_to(cairo, x, y);
    cairo_show_text(cairo, text.c_str());
}

void drawRun(cairo_t* cairo, const Band& band, const ColumnRun& run) {
    for (size_t i = 0; i < run.columns.size(); ++i) {
        double x = run.firstColumn + static_cast<double>(i) + 0.5;
        double top = yOf(band, run.columns[i].high);
        double bottom = yOf(band, run.columns[i].low);
        // A column of one value still shows as a dot a pixel high.
        cairo_move_to(cairo, x, top - 0.5);
        cairo_line_to(cairo, x, std::max(bottom, top) + 0.5);
    }
    cairo_stroke(cairo);
}

void drawBand(cairo_t* cairo, const PlotFrame& frame, const Band& band, size_t index) {
    if (index % 2 == 1) {
        cairo_set_source_rgb(cairo, 0.96, 0.97, 0.99);
        cairo_rectangle(cairo, 0, band.top, frame.width, band.height);
        cairo_fill(cairo);
    }
    cairo_set_source_rgb(cairo, 0.05, 0.15, 0.45);
    cairo_set_line_width(cairo, 1.0);
    for (const auto& run : band.runs)
        drawRun(cairo, band, run);
    cairo_set_source_rgb(cairo, 0.1, 0.1, 0.1);
    drawText(cairo, 6, band.top + 14, bandLabel(*band.trace));
}

void drawAxis(cairo_t* cairo, const PlotFrame& frame) {
    cairo_set_source_rgb(cairo, 0.2, 0.2, 0.2);
    cairo_set_line_width(cairo, 1.0);
    cairo_move_to(cairo, 0, frame.axisTop + 0.5);
    cairo_line_to(cairo, frame.width, frame.axisTop + 0.5);
    cairo_stroke(cairo);
    for (const auto& tick : timeTicks(frame.window, frame.width)) {
        double x = std::round(frame.xAt(tick.seconds)) + 0.5;
        cairo_move_to(cairo, x, frame.axisTop);
        cairo_line_to(cairo, x, frame.axisTop + 5);
        cairo_stroke(cairo);
        cairo_text_extents_t extents;
        cairo_text_extents(cairo, tick.label.c_str(), &extents);
        double left = x - extents.width / 2;
        if (left >= 2 && left + extents.width <= frame.width - 2)
            drawText(cairo, left, frame.axisTop + 17, tick.label);
    }
    drawText(cairo, 4, frame.axisTop + 31, utcDate(frame.window.start) + " UTC");
}

void drawNotes(cairo_t* cairo, const PlotFrame& frame) {
    bool alone = frame.bands.empty();
    double y = alone ? frame.height / 2.0 - 10.0 * static_cast<double>(frame.notes.size()) : 30;
    cairo_set_source_rgb(cairo, alone ? 0.1 : 0.6, 0.1, 0.1);
    for (const auto& note : frame.notes) {
        cairo_text_extents_t extents;
        cairo_text_extents(cairo, note.c_str(), &extents);
        double x = alone ? (frame.width - extents.width) / 2 : frame.width - extents.width - 8;
        drawText(cairo, std::max(4.0, x), y, note);
        y += 20;
    }
}

}  // namespace

void drawFrame(cairo_t* cairo, const PlotFrame& frame) {
    cairo_save(cairo);
    cairo_set_source_rgb(cairo, 1, 1, 1);
    cairo_paint(cairo);
    cairo_select_font_face(cairo, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cairo, 12);
    for (size_t i = 0; i < frame.bands.size(); ++i)
        drawBand(cairo, frame, frame.bands[i], i);
    if (!frame.bands.empty())
        drawAxis(cairo, frame);
    drawNotes(cairo, frame);
    cairo_restore(cairo);
}

PointerReading readPointer(const PlotFrame& frame, double x, double y) {
    PointerReading reading{frame.secondsAt(x), {}, std::nullopt};
    for (const auto& band : frame.bands)
        if (y >= band.top && y < band.top + band.height) {
            reading.traceId = band.trace->id;
            reading.value = valueOf(band, y);
        }
    return reading;
}

std::string describePointer(const PointerReading& reading) {
    std::string text = utcTimestamp(reading.seconds) + " UTC";
    if (!reading.traceId.empty())
        text += "   " + reading.traceId;
    if (reading.value) {
        char value[48];
        std::snprintf(value, sizeof value, "   %.6g", *reading.value);
        text += value;
    }
    return text;
}

}  // namespace orvane::quicklook
