#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace orvane {

// The file a download writes. The bytes go into a hidden temporary file in
// the same folder; only a good transfer moves it onto the final name, so a
// failed or cancelled download leaves an earlier file of that name as it was
// and no temporary file behind.
class LocalFile {
  public:
    // Opens a new temporary file beside finalPath; check IsOpen().
    explicit LocalFile(std::string finalPath);
    ~LocalFile();
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Appends the bytes; false when the file took fewer of them.
    bool Write(std::string_view bytes);
    // Writes out what is buffered; false when that falls short.
    bool Flush();
    // Copies the file already under the final name (a download left by an
    // earlier run) into the temporary file, which it continues; the bytes
    // taken, 0 when there is no such file, -1 when it cannot be read or
    // copied. The file under the final name stays as it was.
    std::int64_t TakeExisting();
    // Empties the temporary file for a download that starts again.
    bool Truncate();
    // Closes the file and puts it under the final name; false (and nothing
    // left behind) when that fails.
    bool Commit();
    // Closes and removes the temporary file.
    void Discard();

    const std::string& temporaryPath() const { return temporaryPath_; }

  private:
    std::string finalPath_;
    std::string temporaryPath_;
    std::unique_ptr<char[]> buffer_;
    std::FILE* file_ = nullptr;
};

}  // namespace orvane
