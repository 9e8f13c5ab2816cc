#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quicklook/seed_reader.h"
#include "quicklook/time_axis.h"

namespace orvane::quicklook {

// What to say about the files opened: one line for each file that could
// not be read, held no SEED data or was damaged.
std::vector<std::string> describeFiles(const Loaded& loaded);
// Whether every file gave something to draw; false names a reason in
// describeFiles().
bool everyFileReadable(const Loaded& loaded);
// "NAME - Quick-look" (the names of several files joined by commas).
std::string windowTitle(const std::vector<std::string>& paths);
// All the samples, with nothing to show: the last minute before now.
TimeWindow wholeWindow(const TraceSet& traces);

struct PictureSize {
    int width = 1200;
    int height = 800;
};
// The drawing of the files as a PNG file; false with the reason.
bool writePicture(const Loaded& loaded, const std::string& path, PictureSize size,
                  std::string& error);

// orvane-quicklook --png OUT.png [--size WIDTHxHEIGHT] FILE...
struct PictureRequest {
    std::string output;
    PictureSize size;
    std::vector<std::string> files;
};
// nullopt with a reason in `error` when the arguments ask for a picture
// wrongly; an empty output when they ask for no picture (the window).
std::optional<PictureRequest> parsePictureRequest(const std::vector<std::string>& arguments,
                                                  std::string& error);

}  // namespace orvane::quicklook
