#include "transfer/local_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

namespace orvane {

namespace {

constexpr std::size_t kFileBuffer = 64 * 1024;
std::atomic<unsigned> temporaryCounter{0};

// "<folder>/.<name>.<pid>-<n>.part": hidden, and unique among the downloads
// of all running programs.
std::string TemporaryNameFor(const std::string& finalPath) {
    auto slash = finalPath.rfind('/');
    std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    return folder + "." + name + "." + std::to_string(::getpid()) + "-" +
           std::to_string(temporaryCounter.fetch_add(1)) + ".part";
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

LocalFile::LocalFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
    // A folder of that name could never be replaced by the download.
    if (IsDirectory(finalPath_))
        return;
    for (int attempt = 0; attempt < 16 && file_ == nullptr; ++attempt) {
        temporaryPath_ = TemporaryNameFor(finalPath_);
        int fd = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            break;
        file_ = ::fdopen(fd, "wb");
        if (file_ == nullptr) {
            ::close(fd);
            ::unlink(temporaryPath_.c_str());
            break;
        }
        // Large writes: the stream's own buffer would be one disk block.
        buffer_ = std::make_unique<char[]>(kFileBuffer);
        std::setvbuf(file_, buffer_.get(), _IOFBF, kFileBuffer);
    }
    if (file_ == nullptr)
        temporaryPath_.clear();
}

LocalFile::~LocalFile() {
    Discard();
}

bool LocalFile::Write(std::string_view bytes) {
    if (file_ == nullptr)
        return false;
    return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
}

bool LocalFile::Flush() {
    return file_ != nullptr && std::fflush(file_) == 0;
}

std::int64_t LocalFile::TakeExisting() {
    if (file_ == nullptr)
        return -1;
    std::FILE* existing = std::fopen(finalPath_.c_str(), "rb");
    if (existing == nullptr)
        return errno == ENOENT ? 0 : -1;
    std::int64_t copied = 0;
    std::vector<char> piece(kFileBuffer);
    for (;;) {
        std::size_t got = std::fread(piece.data(), 1, piece.size(), existing);
        if (got == 0)
            break;
        if (std::fwrite(piece.data(), 1, got, file_) != got) {
            copied = -1;
            break;
        }
        copied += static_cast<std::int64_t>(got);
    }
    if (std::ferror(existing))
        copied = -1;
    std::fclose(existing);
    return copied;
}

bool LocalFile::Truncate() {
    if (file_ == nullptr || std::fflush(file_) != 0)
        return false;
    std::rewind(file_);
    return ::ftruncate(::fileno(file_), 0) == 0;
}

bool LocalFile::Commit() {
    if (file_ == nullptr)
        return false;
    bool written = std::fflush(file_) == 0 && !std::ferror(file_);
    bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (written && closed && ::rename(temporaryPath_.c_str(), finalPath_.c_str()) == 0) {
        temporaryPath_.clear();
        return true;
    }
    ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    return false;
}

void LocalFile::Discard() {
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
    if (!temporaryPath_.empty())
        ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
}

}  // namespace orvane
