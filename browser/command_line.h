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

// One URL of the command line as the address box completes it, with local
// files made absolute first: "~" and "~/..." against the home folder, and a
// name without a scheme that is a file or folder under the current folder
// against that folder. Such a path becomes a file:// URL with the bytes that
// a URL cannot hold as they are ("#", "?", "%", blanks) percent-encoded.
std::string CommandLineAddress(const std::string& text, const std::string& currentFolder,
                               const std::string& homeFolder);

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
