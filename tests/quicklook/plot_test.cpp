// The reduction to pixel columns, the time axis and the pointer reading,
// and the --png picture of the program.

#include "quicklook/plot.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "quicklook/quicklook_files.h"
#include "tests/quicklook/seed_samples.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"

namespace orvane::quicklook {
namespace {

using orvane::testkit::programFolder;
using orvane::testkit::runProgram;
using testing::channel;
using testing::kStart;
using testing::wave;

TraceSet oneTrace(const std::vector<int32_t>& values, TimeUs start = kStart) {
    TraceSet traces;
    traces.add({"XX.ORV.00.HHZ", start, 100, values});
    traces.finish();
    return traces;
}

// The extremes of each column worked out sample by sample.
ValueRange bruteForce(const std::vector<int32_t>& values, double firstIndex, double lastIndex) {
    auto low = static_cast<size_t>(std::clamp(firstIndex, 0.0, values.size() - 1.0));
    auto high = static_cast<size_t>(std::clamp(lastIndex, 0.0, values.size() - 1.0));
    auto [min, max] = std::minmax_element(values.begin() + low, values.begin() + high + 1);
    return {static_cast<float>(*min), static_cast<float>(*max)};
}

TEST(PixelColumns, EachColumnHoldsTheExtremesOfItsSamplesAtAnyZoom) {
    auto values = wave(200000);
    TraceSet traces = oneTrace(values);
    const Trace& trace = traces.traces()[0];
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        // Windows from 0.05 s to the whole 2000 s, starting anywhere,
        // reaching past either end now and then.
        double length = std::pow(10.0, std::uniform_real_distribution<>(-1.3, 3.3)(random));
        double start = kStart / 1e6 + std::uniform_real_distribution<>(-50, 2000)(random);
        int width = std::uniform_int_distribution<>(50, 1500)(random);
        TimeWindow window{start, start + length};
        auto runs = reduceTrace(trace, window, width);
        SCOPED_TRACE("window " + std::to_string(start) + " + " + std::to_string(length));
        for (const auto& run : runs)
            for (size_t i = 0; i < run.columns.size(); ++i) {
                double x = run.firstColumn + static_cast<double>(i);
                double offset = start - kStart / 1e6;
                double first = std::floor((offset + x * length / width) * 100);
                double last = std::floor((offset + (x + 1) * length / width) * 100);
                ValueRange expected = bruteForce(values, first, last);
                ASSERT_EQ(run.columns[i].low, expected.low) << "column " << x;
                ASSERT_EQ(run.columns[i].high, expected.high) << "column " << x;
            }
    }
}

TEST(PixelColumns, AGapBreaksTheLineAndOnlyColumnsWithSamplesAreDrawn) {
    TraceSet traces;
    traces.add({"XX.ORV.00.HHZ", kStart, 100, wave(1000)});
    traces.add({"XX.ORV.00.HHZ", kStart + 20000000, 100, wave(1000)});
    traces.finish();
    // 30 s over 300 columns: 0..10 s, nothing, 20..30 s.
    auto runs = reduceTrace(traces.traces()[0], {kStart / 1e6, kStart / 1e6 + 30}, 300);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].firstColumn, 0);
    EXPECT_EQ(runs[0].columns.size(), 100u);
    EXPECT_EQ(runs[1].firstColumn, 200);
    EXPECT_EQ(runs[1].columns.size(), 100u);
    EXPECT_TRUE(reduceTrace(traces.traces()[0], {0, 100}, 300).empty());
}

TEST(TimeAxis, TicksFallOnRoundTimesWithLabelsToMatch) {
    double midnight = 1773532800;  // 2026-03-15 00:00:00 UTC
    auto hours = timeTicks({midnight - 3 * 3600.0 + 17, midnight + 5 * 3600.0}, 800);
    ASSERT_FALSE(hours.empty());
    EXPECT_EQ(hours[0].label, "22:00");
    EXPECT_DOUBLE_EQ(hours[0].seconds, midnight - 2 * 3600.0);
    auto fine = timeTicks({midnight + 1.0, midnight + 1.5}, 1000);
    ASSERT_GE(fine.size(), 5u);
    EXPECT_EQ(fine[0].label, "00:00:01.00");
    EXPECT_EQ(fine[1].label, "00:00:01.05");
    EXPECT_EQ(utcDate(midnight - 0.0001), "2026-03-15");
    EXPECT_EQ(utcTimestamp(midnight + 61.2505), "2026-03-15 00:01:01.251");
}

TEST(TimeAxis, ZoomKeepsThePointerTimeInPlace) {
    TimeWindow window{100, 200};
    TimeWindow in = zoomedAbout(window, 125, 0.5);
    EXPECT_DOUBLE_EQ(in.start, 112.5);
    EXPECT_DOUBLE_EQ(in.end, 162.5);
    EXPECT_NEAR(zoomedAbout(window, 150, 1e-9).length(), 0.001, 1e-12);
    EXPECT_FALSE(windowBetween(5, 5.0001));
    EXPECT_DOUBLE_EQ(windowBetween(9, 4)->start, 4);
}

TEST(PlotFrame, ThePointerReadsTheTimeAndTheValueOfItsBand) {
    TraceSet traces;
    traces.add({"XX.ORV.00.HHE", kStart, 100, std::vector<int32_t>{0, 1000, 0, 1000}});
    traces.add({"XX.ORV.00.HHZ", kStart, 100, std::vector<int32_t>{-100, 100, -100, 100}});
    traces.finish();
    PlotFrame frame = computeFrame(traces, {kStart / 1e6, kStart / 1e6 + 0.04}, 400, 436);
    ASSERT_EQ(frame.bands.size(), 2u);
    EXPECT_EQ(frame.bands[1].top, 200);
    EXPECT_EQ(frame.bands[1].range.high, 1000);
    // The vertical comes first; band 2, the east, spans 0..1000 over rows 206..394: its middle is
    // 500.
    PointerReading reading = readPointer(frame, 100, 300);
    EXPECT_EQ(reading.traceId, "XX.ORV.00.HHE");
    ASSERT_TRUE(reading.value);
    EXPECT_NEAR(*reading.value, 500, 1e-9);
    EXPECT_NEAR(reading.seconds, kStart / 1e6 + 0.01, 1e-6);
    EXPECT_EQ(describePointer(reading), "2026-03-15 10:20:30.135 UTC   XX.ORV.00.HHE   500");
    EXPECT_FALSE(readPointer(frame, 100, 420).value);
}

// The picture that --png writes, read back.
struct Picture {
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface{
        nullptr, cairo_surface_destroy};
    int width() const { return cairo_image_surface_get_width(surface.get()); }
    int height() const { return cairo_image_surface_get_height(surface.get()); }
    // Pixels of the traces' colour (dark blue) in rows [top, bottom).
    int tracePixels(int top, int bottom) const {
        cairo_surface_flush(surface.get());
        const unsigned char* data = cairo_image_surface_get_data(surface.get());
        int stride = cairo_image_surface_get_stride(surface.get());
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < width(); ++x) {
                auto pixel = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
                int r = (pixel >> 16) & 0xff, g = (pixel >> 8) & 0xff, b = pixel & 0xff;
                count += b > 80 && b > r + 40 && b > g + 30;
            }
        return count;
    }
};
Picture readPicture(const std::string& path) {
    Picture picture;
    picture.surface.reset(cairo_image_surface_create_from_png(path.c_str()));
    return picture;
}

class PictureProgram : public ::testing::Test {
  protected:
    orvane::testkit::TempFolder folder;
    std::string write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return folder / name;
    }
    orvane::testkit::ProgramResult quicklook(const std::vector<std::string>& arguments) {
        return runProgram(programFolder() + "/orvane-quicklook", arguments, {{"DISPLAY", ""}},
                          60000);
    }
};

TEST_F(PictureProgram, DrawsEachTraceInItsOwnBand) {
    std::string bytes;
    for (const char* code : {"HHE", "HHN", "HHZ"})
        bytes += packRecords(channel(code, kStart, wave(6000, code[2]), 512));
    std::string file = write("event.mseed", bytes);
    auto result = quicklook({"--png", folder / "out.png", "--size", "640x436", file});
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardError, "");
    Picture picture = readPicture(folder / "out.png");
    ASSERT_EQ(cairo_surface_status(picture.surface.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(picture.width(), 640);
    EXPECT_EQ(picture.height(), 436);
    // Three bands of 133 rows above the 36 of the axis, each with its trace
    // across it and none below them.
    for (int band = 0; band < 3; ++band)
        EXPECT_GT(picture.tracePixels(band * 133 + 20, band * 133 + 125), 640 * 3) << band;
    EXPECT_EQ(picture.tracePixels(400, 436), 0);
}

TEST_F(PictureProgram, ExitsOneWithTheReasonForWhatHoldsNoSeedAndTwoForWrongArguments) {
    std::string event = write("0315.evt", std::string(5000, '\x7f'));
    auto result = quicklook({"--png", folder / "out.png", event});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.standardError.find("0315.evt (5000 bytes) holds no SEED data"),
              std::string::npos)
        << result.standardError;
    EXPECT_FALSE(std::filesystem::exists(folder / "out.png"));
    EXPECT_EQ(quicklook({"--png", folder / "out.png", folder / "missing"}).exitStatus, 1);

    for (const auto& wrong :
         std::vector<std::vector<std::string>>{{"--png"},
                                               {"--png", folder / "out.png"},
                                               {"--png", "x.png", "--size", "10x10", event},
                                               {"--png", "x.png", "--size", "800", event},
                                               {"--size", "800x600", event},
                                               {"--pgn", "x.png", event}}) {
        auto refused = quicklook(wrong);
        EXPECT_EQ(refused.exitStatus, 2) << wrong.size();
        EXPECT_NE(refused.standardError.find("Usage: orvane-quicklook"), std::string::npos);
    }
}

TEST_F(PictureProgram, ADamagedFileIsDrawnAsFarAsItCanBeReadAndTheRestNamed) {
    std::string bytes = packRecords(channel("HHZ", kStart, wave(6000), 512));
    std::string file = write("cut.mseed", bytes.substr(0, bytes.size() - 300));
    auto result = quicklook({"--png", folder / "out.png", "--size", "400x300", file});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.standardError.find("cut.mseed: the last record is cut"), std::string::npos)
        << result.standardError;
    EXPECT_GT(readPicture(folder / "out.png").tracePixels(20, 250), 400 * 3);
}

}  // namespace
}  // namespace orvane::quicklook
