#pragma once

#include <string>

namespace orvane::testkit {

// Creates a new folder with a name of its own under the temporary directory
// ("PREFIX-" and six random characters) and returns its path; throws
// std::runtime_error when none can be made.
std::string MakeUniqueFolder(const std::string& prefix);

// A folder of its own under the temporary directory, removed with its
// contents when the object goes.
class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace orvane::testkit
