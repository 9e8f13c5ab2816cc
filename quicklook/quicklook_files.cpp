#include "quicklook/quicklook_files.h"

#include <cairo.h>

#include <charconv>
#include <filesystem>
#include <memory>

#include "quicklook/plot.h"

namespace orvane::quicklook {

namespace {

std::string nameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

bool gaveSamples(const FileReport& file) {
    return file.error.empty() && file.read.dataRecords > 0;
}

std::string describeFile(const FileReport& file) {
    std::string name = nameOf(file.path);
    if (!file.error.empty())
        return name + " cannot be read: " + file.error;
    if (file.read.dataRecords == 0)
        return name + " (" + std::to_string(file.size) +
               " bytes) holds no SEED data; Tremora reads the network's own event files";
    std::string text = name + ":";
    const char* separator = " ";
    for (const auto& problem : file.read.problems) {
        text += separator + problem;
        separator = "; ";
    }
    return text;
}

}  // namespace

std::vector<std::string> describeFiles(const Loaded& loaded) {
    std::vector<std::string> lines;
    for (const auto& file : loaded.files)
        if (!gaveSamples(file) || !file.read.problems.empty())
            lines.push_back(describeFile(file));
    return lines;
}

bool everyFileReadable(const Loaded& loaded) {
    for (const auto& file : loaded.files)
        if (!gaveSamples(file))
            return false;
    return !loaded.files.empty();
}

std::string windowTitle(const std::vector<std::string>& paths) {
    std::string names;
    for (const auto& path : paths)
        names += (names.empty() ? "" : ", ") + nameOf(path);
    return (names.empty() ? std::string("No file") : names) + " - Quick-look";
}

TimeWindow wholeWindow(const TraceSet& traces) {
    if (traces.empty())
        return {0, 60};
    TimeWindow window{traces.firstSeconds(), traces.endSeconds()};
    if (!(window.length() > 0))
        window.end = window.start + 1;
    return window;
}

bool writePicture(const Loaded& loaded, const std::string& path, PictureSize size,
                  std::string& error) {
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, size.width, size.height),
        cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cairo(cairo_create(surface.get()),
                                                             cairo_destroy);
    PlotFrame frame =
        computeFrame(loaded.traces, wholeWindow(loaded.traces), size.width, size.height);
    frame.notes = describeFiles(loaded);
    drawFrame(cairo.get(), frame);
    cairo_surface_flush(surface.get());
    cairo_status_t status = cairo_surface_write_to_png(surface.get(), path.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        error = path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

namespace {

std::optional<int> dimension(std::string_view text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 16 || value > 16384)
        return std::nullopt;
    return value;
}

std::optional<PictureSize> parseSize(const std::string& text) {
    auto cross = text.find('x');
    if (cross == std::string::npos)
        return std::nullopt;
    auto width = dimension(std::string_view(text).substr(0, cross));
    auto height = dimension(std::string_view(text).substr(cross + 1));
    if (!width || !height)
        return std::nullopt;
    return PictureSize{*width, *height};
}

}  // namespace

std::optional<PictureRequest> parsePictureRequest(const std::vector<std::string>& arguments,
                                                  std::string& error) {
    PictureRequest request;
    bool sizeGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        bool hasValue = i + 1 < arguments.size();
        if (argument == "--png" && hasValue && request.output.empty()) {
            request.output = arguments[++i];
        } else if (argument == "--size" && hasValue) {
            auto size = parseSize(arguments[++i]);
            if (!size) {
                error = "--size takes WIDTHxHEIGHT, each 16 to 16384: " + arguments[i];
                return std::nullopt;
            }
            request.size = *size;
            sizeGiven = true;
        } else if (argument == "--png" || argument == "--size") {
            error = argument + " needs a value";
            return std::nullopt;
        } else {
            request.files.push_back(argument);
        }
    }
    if (request.output.empty() && sizeGiven) {
        error = "--size goes with --png";
        return std::nullopt;
    }
    if (!request.output.empty() && request.files.empty()) {
        error = "--png needs at least one file to draw";
        return std::nullopt;
    }
    return request;
}

}  // namespace orvane::quicklook
