#include "browser/command_line.h"

namespace orvane {

namespace {

std::string dropClosingQuote(std::string text) {
    if (text.size() > 2 && text.back() == '"')
        text.pop_back();
    return text;
}

constexpr char kOpenPrefix[] = "[open(\"";

}  // namespace

StartUrls SplitCommandLine(const std::string& commandLine) {
    if (commandLine.empty())
        return {};
    std::string copy = commandLine.front() == '"' ? commandLine.substr(1) : commandLine;
    copy = dropClosingQuote(copy);
    if (copy.empty())
        return {};
    std::size_t comma = copy.find(',');
    if (comma == std::string::npos)
        return {copy, copy};
    return {dropClosingQuote(copy.substr(0, comma)), dropClosingQuote(copy.substr(comma + 1))};
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string line;
    for (const auto& argument : arguments) {
        if (!line.empty())
            line += ' ';
        line += argument;
    }
    return line;
}

std::optional<std::string> ParseOpenCommand(const std::string& command) {
    std::string prefix = kOpenPrefix;
    if (command.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    std::size_t end = command.find('"', prefix.size());
    if (end == std::string::npos)
        return std::nullopt;
    return command.substr(prefix.size(), end - prefix.size());
}

const char kBrowserUsage[] =
    "Usage: orvaneexplorer [URL | \"FIRST_URL,START_PAGE\"]\n"
    "A web browser for the Orvane network's web and FTP sites; event data files\n"
    "are downloaded and handed to the Tremora viewer.\n"
    "With one URL it is shown and becomes the start page; with two URLs separated\n"
    "by a comma the first is shown and the second is the start page (Go / Start\n"
    "Page). Without a URL the home page is shown.\n"
    "    -h, --help  this text\n"
    "    --version   the version\n";

StartRequest RequestOf(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1)
        return StartRequest::Browse;
    if (arguments[0] == "--help" || arguments[0] == "-h")
        return StartRequest::Help;
    return arguments[0] == "--version" ? StartRequest::Version : StartRequest::Browse;
}

}  // namespace orvane
