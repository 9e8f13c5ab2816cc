#include "platform/termios_port.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/line_speed.h"

namespace orvane {
namespace {

constexpr int kDrainLimitMs = 1000;

// Names the device's group only when its members may read and write it: a
// group without those bits would send the user after the wrong fix.
std::string groupHint(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return {};
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    if ((info.st_mode & kGroupReadWrite) != kGroupReadWrite)
        return {};
    const group* owner = getgrgid(info.st_gid);
    if (!owner)
        return {};
    return std::string("; members of group '") + owner->gr_name + "' may open it";
}

std::string inUse(const std::string& label, const std::string& path) {
    return label + " (" + path + ") is in use by another program";
}

// A device held with TIOCEXCL refuses an ordinary user's open with EBUSY
// (only root gets past it and meets the lock): both mean the same to a user.
std::string openFailure(const std::string& label, const std::string& path, int error) {
    if (error == EBUSY)
        return inUse(label, path);
    std::string text = "cannot open " + label + " (" + path + "): " + std::strerror(error);
    if (error == EACCES || error == EPERM)
        text += groupHint(path);
    return text;
}

}  // namespace

PortOpenResult TermiosPort::openDevice(const std::string& devicePath, const std::string& label) {
    int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {nullptr, openFailure(label, devicePath, errno)};
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return {nullptr, inUse(label, devicePath)};
    }
    ioctl(fd, TIOCEXCL);  // keeps other programs out; refused on some devices, harmless then
    return {std::make_unique<TermiosPort>(OpenedKey(), fd, label), {}};
}

TermiosPort::~TermiosPort() {
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

bool TermiosPort::configure(int baud) {
    termios settings{};
    if (baud <= 0 || tcgetattr(fd_, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &settings) != 0 || !setLineSpeed(fd_, baud))
        return false;
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd_, TIOCMBIC, &lines);  // a pseudo-terminal has no modem lines
    return true;
}

void TermiosPort::setDtr(bool asserted) {
    int line = TIOCM_DTR;
    ioctl(fd_, asserted ? TIOCMBIS : TIOCMBIC, &line);
}

std::size_t TermiosPort::bytesWaiting() {
    int count = 0;
    if (lost_ || ioctl(fd_, FIONREAD, &count) != 0 || count < 0)
        return 0;
    return static_cast<std::size_t>(count);
}

std::size_t TermiosPort::read(std::uint8_t* dest, std::size_t max) {
    if (lost_ || max == 0)
        return 0;
    ssize_t got = ::read(fd_, dest, max);
    if (got < 0) {
        if (errno == EIO)
            markLost();
        return 0;
    }
    return static_cast<std::size_t>(got);
}

std::size_t TermiosPort::write(const std::uint8_t* src, std::size_t count, int timeoutMs) {
    using namespace std::chrono;
    auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    std::size_t sent = 0;
    while (sent < count && !lost_) {
        ssize_t n = ::write(fd_, src + sent, count - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            if (errno == EIO)
                markLost();
            break;
        }
        auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd pfd{fd_, POLLOUT, 0};
        poll(&pfd, 1, static_cast<int>(left));
    }
    return sent;
}

bool TermiosPort::waitForOutputQueue() {
    using namespace std::chrono;
    auto deadline = steady_clock::now() + milliseconds(kDrainLimitMs);
    int queued = 0;
    while (!lost_ && ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

void TermiosPort::purge() {
    // Bytes already written were handed over by a completed write: let them
    // leave before the queues are emptied. Bounded, so a line that never
    // drains cannot hang us.
    waitForOutputQueue();
    tcflush(fd_, TCIOFLUSH);
}

void TermiosPort::drainForClose() {
    // Flushing the output side of a pseudo-terminal throws away what the
    // other end has not read yet (it reports nothing queued), so written
    // bytes are only ever waited for here. A real line that is stuck gets
    // its output dropped, or closing it would hang.
    if (lost_)
        return;
    if (waitForOutputQueue())
        tcdrain(fd_);
    else
        tcflush(fd_, TCOFLUSH);
    tcflush(fd_, TCIFLUSH);
}

bool TermiosPort::waitForInput(int timeoutMs) {
    if (lost_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return false;
    }
    pollfd pfd{fd_, POLLIN, 0};
    int ready = poll(&pfd, 1, timeoutMs);
    if (ready <= 0)
        return false;
    // A hung-up line (the other side closed, an adapter unplugged) polls as
    // readable forever with nothing to read: that is a lost device.
    if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) && bytesWaiting() == 0) {
        markLost();
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return false;
    }
    return (pfd.revents & POLLIN) != 0;
}

void TermiosPort::markLost() {
    lost_ = true;
}

std::string TermiosPortDirectory::describePort(int portNumber) {
    const std::string mapped = map_.devicePath(portNumber);
    if (mapped.empty())
        return {};
    std::error_code ec;
    const std::string device = std::filesystem::canonical(mapped, ec).string();
    std::string text = "COM" + std::to_string(portNumber) + " is ";
    if (ec || device == mapped)
        return text + mapped;
    return text + device + " (through " + mapped + ")";
}

PortOpenResult TermiosPortDirectory::open(int portNumber) {
    std::string label = "COM" + std::to_string(portNumber);
    std::string device = map_.devicePath(portNumber);
    if (device.empty()) {
        return {nullptr, label + " has no device: no entry com" + std::to_string(portNumber) +
                             " in " + map_.roots().dosdevices + " and no default mapping"};
    }
    return TermiosPort::openDevice(device, label);
}

}  // namespace orvane
