#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// What orvane-fetch was asked to do, read from its command line the way
// curl and wget read theirs: options anywhere before "--", then the URL and
// at most one DIRECTORY.
struct FetchArguments {
    enum class Action { Fetch, List, Help, Version };
    Action action = Action::Fetch;
    std::string url;
    // Where the file goes: DIRECTORY or -O DIR; empty for the saved setting.
    std::string directory;
    // -o FILE: the local path instead of DIRECTORY and the URL's name.
    std::string outputFile;
    bool quiet = false;
    // -c: continue a partial file of that name already there.
    bool continueLocal = false;
    // --timeout SECONDS: how long the server may send nothing (-1: the
    // engine's own bound).
    int silenceLimitMs = -1;
    // --retry N: more tries after a lost connection (0: none).
    int retries = 3;
};

// The arguments after the program's name; nullopt with why in error when
// they are not a valid command line (exit status 2 with the usage text).
std::optional<FetchArguments> ParseFetchArguments(const std::vector<std::string>& arguments,
                                                  std::string& error);

extern const char kFetchUsage[];

}  // namespace orvane
