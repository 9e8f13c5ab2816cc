#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/testkit/child_process.h"

namespace orvane::testing {

using testkit::ProgramResult;

// A throw-away Wine prefix for one test, in a folder of the test's own. It
// is a copy of one prepared prefix per build folder (tests/wine-prefix-
// template, made by `wineboot -i` on first use, headless, which takes long),
// with Wine's own program files shared by hard links and everything Wine
// writes (registry, settings) copied. When the object ends, every program
// still running in the prefix is ended through its wineserver (the prefix
// belongs to the test alone) and the server is waited for.
class WineTestPrefix {
  public:
    explicit WineTestPrefix(const std::string& path);
    ~WineTestPrefix();
    WineTestPrefix(const WineTestPrefix&) = delete;
    WineTestPrefix& operator=(const WineTestPrefix&) = delete;

    bool ready() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    const std::string& path() const { return path_; }
    // The variables a program run in the prefix needs: WINEPREFIX, quiet
    // debugging, no offer to install Mono or Gecko, no desktop menu entries.
    std::map<std::string, std::string> environment() const;
    // Runs `wine ARGUMENTS` in the prefix (with the extra variables), at most
    // timeoutMs.
    ProgramResult wine(const std::vector<std::string>& arguments,
                       const std::map<std::string, std::string>& extra = {},
                       int timeoutMs = 60000) const;
    // Waits until the prefix's wineserver has ended (it writes the registry
    // files then), at most timeoutMs.
    bool waitForServerEnd(int timeoutMs = 60000) const;

  private:
    std::string path_;
    std::string failure_;
};

}  // namespace orvane::testing
