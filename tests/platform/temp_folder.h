#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace orvane::testing {

// A fresh private folder under /tmp, removed with everything in it at the
// end of the test. Short paths keep socket addresses within their limit.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = "/tmp/orvane-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace orvane::testing
