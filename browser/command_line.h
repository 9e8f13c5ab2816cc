#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct StartUrls {
    std::string initialUrl;  // shown first
    std::string startPage;   // target of Go / Start Page
};

// Splits the browser's command line: one URL (used for both), or two
// separated by a comma, each possibly wrapped in double quotes.
StartUrls SplitCommandLine(const std::string& commandLine);

// A command line of exactly "--help" (or "-h") or "--version" asks about
// the program; any other is the URLs to show (no URL begins with "-").
enum class StartRequest { Browse, Help, Version };
StartRequest RequestOf(const std::vector<std::string>& arguments);
// The text "--help" prints.
extern const char kBrowserUsage[];

// The command line as one text: the arguments after the program name, joined
// by single blanks.
std::string JoinArguments(const std::vector<std::string>& arguments);

// The URL of an execute command of the form [open("URL")... (anything after
// the URL's closing quote is ignored); nullopt for any other command.
std::optional<std::string> ParseOpenCommand(const std::string& command);

}  // namespace orvane
