#include "browser/command_line.h"

#include <filesystem>

#include "browser/address_text.h"
#include "platform/ascii_text.h"
#include "transfer/url_text.h"

namespace orvane {

namespace {

std::string dropClosingQuote(std::string text) {
    if (text.size() > 2 && text.back() == '"')
        text.pop_back();
    return text;
}

constexpr char kOpenPrefix[] = "[open(\"";

bool keptInFilePath(char c) {
    return isAsciiAlnum(c) ||
           std::string_view("/-._~!$&'()*+,;=:@").find(c) != std::string_view::npos;
}

// The absolute path that a command-line text names, or empty when it is no
// local file of either kind.
std::string localPathOf(const std::string& text, const std::string& currentFolder,
                        const std::string& homeFolder) {
    namespace fs = std::filesystem;
    if ((text == "~" || text.starts_with("~/")) && !homeFolder.empty())
        return fs::path(homeFolder + text.substr(1)).lexically_normal().string();
    bool absolute = !text.empty() && text.front() == '/';
    if (text.empty() || (!absolute && (currentFolder.empty() || CompleteAddress(text) == text)))
        return {};
    std::error_code ec;
    fs::path candidate = absolute ? fs::path(text) : fs::path(currentFolder) / text;
    return fs::exists(candidate, ec) ? candidate.lexically_normal().string() : std::string();
}

}  // namespace

std::string CommandLineAddress(const std::string& text, const std::string& currentFolder,
                               const std::string& homeFolder) {
    std::string path = localPathOf(text, currentFolder, homeFolder);
    if (path.empty())
        return CompleteAddress(text);
    return "file://" + PercentEncoded(path, keptInFilePath);
}

namespace {}  // namespace

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
    "Page). Without a URL the home page is shown. A URL may be a local file (in the\n"
    "current folder, or ~/... in the home folder) or an address without http://.\n"
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
