#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include "platform/unique_fd.h"

namespace orvane {
namespace fs = std::filesystem;

namespace {

// The file that is really replaced: a symbolic link stands for its target.
fs::path replacedFile(const std::string& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        fs::path target = fs::weakly_canonical(path, ec);
        if (!ec)
            return target;
    }
    return fs::path(path);
}

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string temporaryNameFor(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    return target.string() + ".tmp-" + std::to_string(getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

// Opens a fresh temporary file beside the target; a file that already has
// the name (left by a crash) is never reused.
UniqueFd createTemporary(const fs::path& target, std::string& name) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        name = temporaryNameFor(target);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return UniqueFd(fd);
        if (errno != EEXIST)
            break;
    }
    return UniqueFd();
}

void keepPermissionsOf(const fs::path& target, int fd) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0)
        ::fchmod(fd, existing.st_mode & 07777);
}

}  // namespace

std::optional<std::string> readWholeFile(const std::string& path) {
    // Not waiting at the open: a FIFO in place of a settings or shortcut
    // file would otherwise hold the program until some writer came along.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return std::nullopt;
    // Only a regular file has an end: a FIFO, a terminal or /dev/zero
    // behind the name counts as no file.
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    std::string contents;
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return contents;
        contents.append(buffer, static_cast<std::size_t>(got));
    }
}

bool replaceFileContents(const std::string& path, std::string_view contents) {
    fs::path target = replacedFile(path);
    std::error_code ec;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    std::string temporary;
    UniqueFd fd = createTemporary(target, temporary);
    if (!fd.valid())
        return false;
    keepPermissionsOf(target, fd.get());
    bool written = writeAll(fd.get(), contents) && ::fsync(fd.get()) == 0;
    if (::close(fd.release()) != 0)
        written = false;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool fileReplaceable(const std::string& path) {
    fs::path folder = replacedFile(path).parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code ec;
    while (!fs::exists(folder, ec) && folder.has_parent_path() && folder != folder.parent_path())
        folder = folder.parent_path();
    return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace orvane
