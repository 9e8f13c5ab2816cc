#pragma once

// Helpers shared by the fuzz targets: an in-memory file for readers that
// take a path, a check that stops the run as a crash, and the checks of what
// a program prints.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::fuzz {

// A broken promise of the code under test: libFuzzer keeps the input.
inline void require(bool holds, const char* what) {
    if (holds)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// A file that lives only in memory, reachable by a path, so readers that
// open files run unchanged without touching the disk.
class MemoryFile {
  public:
    MemoryFile() : fd_(::memfd_create("orvane-fuzz", MFD_CLOEXEC)) {
        require(fd_ >= 0, "memfd_create");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void replace(std::string_view contents) {
        require(::ftruncate(fd_, 0) == 0, "ftruncate");
        std::size_t done = 0;
        while (done < contents.size()) {
            ssize_t wrote = ::pwrite(fd_, contents.data() + done, contents.size() - done,
                                     static_cast<off_t>(done));
            require(wrote > 0, "pwrite");
            done += static_cast<std::size_t>(wrote);
        }
    }
    const std::string& path() const { return path_; }

  private:
    int fd_;
    std::string path_;
};

// A folder in memory (on disk where there is no /dev/shm), removed when the
// run ends.
class ScratchFolder {
  public:
    explicit ScratchFolder(const char* purpose) {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        path_ = base / (std::string("orvane-") + purpose + "-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const char* name) const { return (path_ / name).string(); }
    // The folder's path with a final separator.
    std::string folder() const { return path_.string() + "/"; }

  private:
    std::filesystem::path path_;
};

// Whether every piece of the console text (split at line feeds and carriage
// returns) begins with one of the program's own messages, or is a line the
// optional test accepts.
inline bool onlyMessages(std::string_view text, std::initializer_list<std::string_view> known,
                         bool (*alsoAccepted)(std::string_view) = nullptr) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view piece = text.substr(start, end - start);
        bool matched = piece.empty() || (alsoAccepted != nullptr && alsoAccepted(piece));
        for (std::string_view message : known)
            matched = matched || piece.starts_with(message);
        if (!matched)
            return false;
        start = end + 1;
    }
    return true;
}

// Splits bytes at NUL into arguments, as a command line would hand them over.
inline std::vector<std::string> argumentsOf(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    if (size == 0)
        return arguments;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find('\0', start);
        arguments.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return arguments;
}

}  // namespace orvane::fuzz
