// orvane-quicklook: a first look at the traces of SEED and miniSEED files.
//
//   orvane-quicklook [FILE...]                                  the window
//   orvane-quicklook --png OUT.png [--size WIDTHxHEIGHT] FILE...  a picture
//
// A second start with files hands them to the window already open.

#include <cstdio>
#include <string>
#include <vector>

#include "quicklook/gtk/quicklook_window.h"
#include "quicklook/quicklook_files.h"

namespace {

constexpr char kUsage[] =
    "usage: orvane-quicklook [FILE...]\n"
    "       orvane-quicklook --png OUT.png [--size WIDTHxHEIGHT] FILE...\n";

int drawPicture(const orvane::quicklook::PictureRequest& request) {
    using namespace orvane::quicklook;
    Loaded loaded = loadFiles(request.files);
    for (const auto& line : describeFiles(loaded))
        std::fprintf(stderr, "orvane-quicklook: %s\n", line.c_str());
    if (!everyFileReadable(loaded))
        return 1;
    std::string error;
    if (!writePicture(loaded, request.output, request.size, error)) {
        std::fprintf(stderr, "orvane-quicklook: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    auto request = orvane::quicklook::parsePictureRequest(arguments, error);
    if (!request) {
        std::fprintf(stderr, "orvane-quicklook: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (!request->output.empty())
        return drawPicture(*request);
    return orvane::quicklook::runQuicklookApplication(argc, argv);
}
