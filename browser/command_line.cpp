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

}  // namespace orvane
