#include "platform/termios_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "loaders/common/serial_link.h"
#include "platform/clock.h"
#include "platform/line_speed.h"
#include "tools/testkit/memory_console.h"
#include "tools/testkit/pty.h"

namespace orvane {
namespace {

using testkit::PseudoTerminal;
using Ms = std::chrono::milliseconds;

std::unique_ptr<SerialPort> openSlave(const PseudoTerminal& pty) {
    auto opened = TermiosPort::openDevice(pty.slavePath(), "COM1");
    EXPECT_TRUE(opened.port) << opened.error;
    return std::move(opened.port);
}

void feed(const PseudoTerminal& pty, std::initializer_list<std::uint8_t> bytes) {
    std::vector<std::uint8_t> data(bytes);
    ASSERT_EQ(::write(pty.master(), data.data(), data.size()), static_cast<ssize_t>(data.size()));
}

// Polls the condition until it holds, for at most a second: bytes through a
// pseudo-terminal take a moment to cross, and a loaded machine takes longer.
bool soon(const std::function<bool()>& condition) {
    auto end = std::chrono::steady_clock::now() + Ms(1000);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(Ms(1));
    }
    return true;
}

// Reads what the other side of the pseudo-terminal received, waiting up to
// a second for the count asked.
std::vector<std::uint8_t> readAtMaster(const PseudoTerminal& pty, std::size_t count) {
    std::vector<std::uint8_t> got;
    soon([&] {
        pollfd ready{pty.master(), POLLIN, 0};
        std::uint8_t buffer[64];
        ssize_t n = ::poll(&ready, 1, 0) == 1 ? ::read(pty.master(), buffer, sizeof buffer) : 0;
        if (n > 0)
            got.insert(got.end(), buffer, buffer + n);
        return got.size() >= count;
    });
    return got;
}

long elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - since).count();
}

// The device as another opener sees it. It is opened before the port: an
// open port keeps further opens out (all but root's).
class DeviceObserver {
  public:
    explicit DeviceObserver(const PseudoTerminal& pty)
        : fd_(::open(pty.slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK)) {
        EXPECT_GE(fd_, 0);
    }
    ~DeviceObserver() { ::close(fd_); }
    DeviceObserver(const DeviceObserver&) = delete;
    DeviceObserver& operator=(const DeviceObserver&) = delete;
    termios settings() const {
        termios settings{};
        EXPECT_EQ(tcgetattr(fd_, &settings), 0);
        return settings;
    }

  private:
    int fd_;
};

TEST(TermiosPort, ConfiguresRawEightNOneAtTheAskedSpeed) {
    PseudoTerminal pty;
    DeviceObserver observer(pty);
    auto port = openSlave(pty);
    ASSERT_TRUE(port->configure(19200));
    termios settings = observer.settings();
    EXPECT_EQ(cfgetospeed(&settings), B19200);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u);
}

// A board application at 14400 or 250000 baud is reached at that rate: the
// driver is given the number itself, not the nearest rate of a table.
TEST(TermiosPort, RatesOutsideTheStandardTableReachTheDriver) {
    PseudoTerminal pty;
    DeviceObserver observer(pty);
    auto port = openSlave(pty);
    for (int baud : {14400, 250000, 31250, 9600}) {
        ASSERT_TRUE(port->configure(baud)) << baud;
        EXPECT_EQ(lineSpeed(pty.master()), baud);
        termios settings = observer.settings();
        EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u) << baud;
    }
    termios standard = observer.settings();
    EXPECT_EQ(cfgetospeed(&standard), B9600);  // standard rates keep their codes
    EXPECT_FALSE(port->configure(0));
    EXPECT_EQ(lineSpeed(pty.master()), 9600);
}

TEST(TermiosPort, CountsWaitingBytesReadsThemAndPurgeEmptiesTheQueue) {
    PseudoTerminal pty;
    auto port = openSlave(pty);
    ASSERT_TRUE(port->configure(57600));
    feed(pty, {1, 2, 3});
    ASSERT_TRUE(port->waitForInput(1000));
    EXPECT_TRUE(soon([&] { return port->bytesWaiting() == 3u; })) << port->bytesWaiting();
    std::uint8_t got[8] = {};
    EXPECT_EQ(port->read(got, 2), 2u);
    EXPECT_EQ(got[1], 2);
    feed(pty, {4, 5});
    ASSERT_TRUE(soon([&] { return port->bytesWaiting() == 3u; })) << "4 and 5 arrived";
    port->purge();
    EXPECT_EQ(port->bytesWaiting(), 0u);
    EXPECT_EQ(port->read(got, 8), 0u);
}

TEST(TermiosPort, WritesReachTheOtherSide) {
    PseudoTerminal pty;
    auto port = openSlave(pty);
    ASSERT_TRUE(port->configure(57600));
    const std::uint8_t frame[] = {0x0F, 0x0F, 0x00, 0x02, 0xFE, 0x04};
    EXPECT_EQ(port->write(frame, sizeof frame, 5000), sizeof frame);
    EXPECT_EQ(readAtMaster(pty, sizeof frame),
              (std::vector<std::uint8_t>{0x0F, 0x0F, 0x00, 0x02, 0xFE, 0x04}));
}

TEST(TermiosPort, WaitForInputEndsAtItsBoundOrAtTheFirstByte) {
    PseudoTerminal pty;
    auto port = openSlave(pty);
    ASSERT_TRUE(port->configure(57600));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port->waitForInput(100));
    EXPECT_GE(elapsedMs(start), 95);
    EXPECT_LT(elapsedMs(start), 1000);
    std::thread sender([&] {
        std::this_thread::sleep_for(Ms(50));
        feed(pty, {7});
    });
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(port->waitForInput(3000));
    EXPECT_LT(elapsedMs(start), 1000);
    sender.join();
}

TEST(TermiosPort, ASecondOpenOfTheSameDeviceIsRefusedAsBusy) {
    PseudoTerminal pty;
    auto first = openSlave(pty);
    auto second = TermiosPort::openDevice(pty.slavePath(), "COM4");
    EXPECT_FALSE(second.port);
    EXPECT_EQ(second.error, "COM4 (" + pty.slavePath() + ") is in use by another program");
}

TEST(TermiosPort, MissingDeviceNamesPathAndCause) {
    auto opened = TermiosPort::openDevice("/dev/orvane-no-such-tty", "COM9");
    EXPECT_FALSE(opened.port);
    EXPECT_EQ(opened.error,
              "cannot open COM9 (/dev/orvane-no-such-tty): No such file or directory");
}

// The open error for a device file of the given mode, met by a user who is
// neither its owner nor in its group (as root: in a child run as nobody).
std::string openErrorForMode(mode_t mode) {
    auto path =
        std::filesystem::temp_directory_path() / ("orvane-locked-" + std::to_string(getpid()));
    std::ofstream(path) << "x";
    chmod(path.c_str(), mode);
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    pid_t child = fork();
    if (child == 0) {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        auto opened = TermiosPort::openDevice(path.string(), "COM2");
        ssize_t written = ::write(pipeFds[1], opened.error.data(), opened.error.size());
        _exit(written >= 0 ? 0 : 1);
    }
    ::close(pipeFds[1]);
    char buffer[512] = {};
    ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer - 1);
    ::close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::filesystem::remove(path);
    EXPECT_GT(got, 0);
    return buffer;
}

// A permission error names the group whose members may open the device,
// and only when that group's bits let them (a test run by a normal user
// owns the file: the owner bits are cleared so the open fails for it too).
TEST(TermiosPort, PermissionErrorNamesTheGroupOnlyWhenItMayOpen) {
    std::string error = openErrorForMode(0060);
    EXPECT_NE(error.find("Permission denied; members of group '"), std::string::npos) << error;
    EXPECT_NE(error.find("' may open it"), std::string::npos) << error;
    for (mode_t mode : {0000, 0040, 0020}) {
        error = openErrorForMode(mode);
        EXPECT_TRUE(error.ends_with("Permission denied")) << mode << ": " << error;
    }
}

TEST(TermiosPort, ClosingTheOtherSideIsSeenAsADisconnect) {
    PseudoTerminal pty;
    auto port = openSlave(pty);
    ASSERT_TRUE(port->configure(57600));
    pty.closeMaster();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port->waitForInput(50));
    EXPECT_TRUE(port->disconnected());
    std::uint8_t byte = 0x11;
    EXPECT_EQ(port->write(&byte, 1, 100), 0u);
    EXPECT_LT(elapsedMs(start), 2000);
}

// The last frame before a close reaches a board that reads slowly: on a
// pseudo-terminal (socat, ser2net, a virtual port) nothing shows as queued,
// and emptying the output side throws away what the other end has not read.
// Earlier frames the board has not read yet hold the last one back.
TEST(TermiosPort, WrittenBytesSurviveTheCloseForAReaderThatComesLate) {
    PseudoTerminal pty;
    auto port = openSlave(pty);
    ASSERT_TRUE(port->configure(19200));
    feed(pty, {0x0F, 0x0F, 0x00});  // an answer nobody reads any more
    ASSERT_TRUE(soon([&] { return port->bytesWaiting() == 3; }));
    std::vector<std::uint8_t> unread(8192, 0x11);
    ASSERT_EQ(port->write(unread.data(), unread.size(), 5000), unread.size());
    const std::vector<std::uint8_t> reset{0x0F, 0x0F, 0x08, 0x02, 0xF6, 0x04};
    ASSERT_EQ(port->write(reset.data(), reset.size(), 5000), reset.size());
    port->drainForClose();
    EXPECT_EQ(port->bytesWaiting(), 0u);
    port.reset();
    // Everything written, read as it comes, for at most five seconds.
    std::vector<std::uint8_t> received;
    std::uint8_t chunk[4096];
    const std::size_t written = unread.size() + reset.size();
    const auto end = std::chrono::steady_clock::now() + Ms(5000);
    for (pollfd more{pty.master(), POLLIN, 0}; received.size() < written &&
                                               std::chrono::steady_clock::now() < end &&
                                               poll(&more, 1, 100) >= 0;) {
        ssize_t got = (more.revents & POLLIN) ? ::read(pty.master(), chunk, sizeof chunk) : 0;
        if (got < 0)
            break;
        received.insert(received.end(), chunk, chunk + got);
    }
    ASSERT_EQ(received.size(), unread.size() + reset.size()) << "written bytes were thrown away";
    EXPECT_TRUE(std::equal(reset.begin(), reset.end(), received.end() - 6));
}

// Every COM number is told with the device behind it, and a device named by
// its path stands for the number it is given.
TEST(TermiosPortDirectory, NamesTheDeviceBehindANumberAndTakesDevicePaths) {
    PseudoTerminal pty;
    auto dir = std::filesystem::temp_directory_path() / ("orvane-dos-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink(pty.slavePath(), dir / "com3");
    TermiosPortDirectory ports(DeviceMap({dir.string(), "/dev", "/nonexistent"}));
    EXPECT_EQ(ports.describePort(3),
              "COM3 is " + pty.slavePath() + " (through " + (dir / "com3").string() + ")");
    EXPECT_EQ(ports.describePort(34), "COM34 is /dev/ttyUSB1");
    EXPECT_EQ(ports.describePort(200), "");
    ASSERT_TRUE(ports.assignDevicePath(0, pty.slavePath()));
    EXPECT_EQ(ports.describePort(0), "COM0 is " + pty.slavePath());
    PortOpenResult opened = ports.open(0);
    EXPECT_TRUE(opened.port) << opened.error;
    std::filesystem::remove_all(dir);
}

// The link's waits against a real device keep their bounds.
TEST(SerialLinkOnPty, WaitsEndWithinTheirBoundsAndBytesComeInOrder) {
    PseudoTerminal pty;
    auto dir = std::filesystem::temp_directory_path() / ("orvane-dos-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink(pty.slavePath(), dir / "com3");
    TermiosPortDirectory ports(DeviceMap({dir.string(), "/nonexistent", "/nonexistent"}));
    RealClock clock;
    testkit::MemoryConsole console;
    SerialLink link(ports, clock, console, kBootLink);
    ASSERT_TRUE(link.OpenPort(3, 19200)) << console.errors();

    feed(pty, {0x0F, 0x0F, 0x00});
    std::vector<int> got;
    std::uint8_t byte = 0;
    soon([&] {
        while (link.ReadByteNow(byte))
            got.push_back(byte);
        return got.size() >= 3;
    });
    EXPECT_EQ(got, (std::vector<int>{0x0F, 0x0F, 0x00}));

    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.GetResp(byte));
    EXPECT_GE(elapsedMs(start), 480);
    EXPECT_LT(elapsedMs(start), 2000);

    feed(pty, {0x00, 0x00, 0x55, 0x13});
    EXPECT_TRUE(link.GetResp(byte));
    EXPECT_EQ(byte, 0x55);
    EXPECT_EQ(link.ClosePort(), 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orvane
