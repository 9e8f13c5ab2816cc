// The folder listing parser and the listing page fed with arbitrary server
// lines: no line is lost (every line with text gives an entry, except the
// "total" line and the folder itself and its parent), sizes are never
// negative unless unknown, and every name on the page is escaped.
#include <cstdint>
#include <string>

#include "browser/ftp_listing_page.h"
#include "tests/fuzz/fuzz_support.h"
#include "transfer/ftp_listing.h"

namespace {

using orvane::FtpListEntry;
using orvane::fuzz::require;

std::size_t LinesWithText(const std::string& text) {
    std::size_t count = 0, at = 0;
    while (at < text.size()) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            ++count;
        at = end + 1;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    auto entries = orvane::ParseListing(text);
    require(entries.size() <= LinesWithText(text), "one entry a line at most");
    std::size_t skipped = LinesWithText(text) - entries.size();
    std::size_t skippable = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        FtpListEntry entry;
        bool gave = orvane::ParseListLine(text.substr(at, end - at), entry);
        std::string line = text.substr(at, end - at);
        if (line.find_first_not_of(" \t\r") != std::string::npos &&
            (!gave || entry.name == "." || entry.name == ".."))
            ++skippable;
        at = end + 1;
    }
    require(skipped == skippable, "only total, blank, . and .. lines give no entry");
    for (const FtpListEntry& entry : entries) {
        require(!entry.name.empty(), "an entry has a name");
        require(entry.size >= -1, "a size is unknown or not negative");
    }
    std::string page = orvane::FtpListingPage("ftp://host/folder/", entries);
    require(page.find("<script") == std::string::npos, "names are escaped");
    require(page.find("<title>Index of ftp://host/folder/</title>") != std::string::npos,
            "the page is titled after its folder");
    return 0;
}
