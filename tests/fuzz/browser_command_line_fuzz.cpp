// The browser's command line: the arguments joined into one text and split
// into the initial URL and the start page. Any arguments must give two
// pieces of that text; a plain URL must come through unchanged.
#include <cstdint>
#include <string>

#include "browser/command_line.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using orvane::fuzz::require;

// A piece the splitter returns is some stretch of the line it was given.
bool partOf(const std::string& piece, const std::string& line) {
    return piece.empty() || line.find(piece) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> arguments = orvane::fuzz::argumentsOf(data, size);
    const std::string line = orvane::JoinArguments(arguments);
    std::size_t longest = arguments.empty() ? 0 : arguments.size() - 1;
    std::size_t from = 0;
    for (const std::string& argument : arguments) {
        longest += argument.size();
        from = line.find(argument, from);
        require(from != std::string::npos, "every argument is in the line, in order");
        from += argument.size();
    }
    require(line.size() <= longest, "arguments are joined by at most one blank each");

    const orvane::StartUrls urls = orvane::SplitCommandLine(line);
    require(partOf(urls.initialUrl, line) && partOf(urls.startPage, line),
            "both URLs come from the command line");
    require(urls.initialUrl.size() + urls.startPage.size() <= 2 * line.size(),
            "nothing is added to the URLs");
    if (!line.empty() && line.find_first_of(",\"") == std::string::npos)
        require(urls.initialUrl == line && urls.startPage == line,
                "one plain URL is both the initial URL and the start page");
    return 0;
}
