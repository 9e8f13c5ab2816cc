#pragma once

#include <string>

namespace orvane::testkit {

// Creates a new folder with a name of its own under the temporary directory
// ("PREFIX-" and six random characters) and returns its path; throws
// std::runtime_error when none can be made.
std::string MakeUniqueFolder(const std::string& prefix);

// A folder of its own under the temporary directory, removed with its
// contents when the object goes. Only its owner may enter it (a runtime
// folder, the folder of a socket that checks its privacy), or everyone (a
// program run as another user works inside it).
class TempFolder {
  public:
    enum class Access { OwnerOnly, Everyone };
    TempFolder() : TempFolder("orvane-test", Access::OwnerOnly) {}
    explicit TempFolder(const std::string& prefix, Access access = Access::Everyone);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string operator/(const std::string& name) const { return file(name); }

  private:
    std::string path_;
};

}  // namespace orvane::testkit
