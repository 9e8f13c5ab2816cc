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

TEST(TermiosPort, ConfiguresRawEightNOneAtTheAskedSpeed) {
    PseudoTerminal pty;
    auto port = openSlave(pty);
    ASSERT_TRUE(port->configure(19200));
    termios settings{};
    int fd = ::open(pty.slavePath().c_str(), O_RDONLY | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(tcgetattr(fd, &settings), 0);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&settings), B19200);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_FALSE(port->configure(12345));
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

// Opening a device the user may not open names the group that may; as root
// the check runs in a child that drops to an unprivileged user.
TEST(TermiosPort, PermissionErrorNamesTheGroupThatMayOpen) {
    auto path =
        std::filesystem::temp_directory_path() / ("orvane-locked-" + std::to_string(getpid()));
    std::ofstream(path) << "x";
    chmod(path.c_str(), 0660);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t child = fork();
    if (child == 0) {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        if (getuid() != 0)
            chmod(path.c_str(), 0);
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
    ASSERT_GT(got, 0);
    std::string error(buffer);
    EXPECT_NE(error.find("Permission denied; members of group '"), std::string::npos) << error;
    EXPECT_NE(error.find("' may open it"), std::string::npos) << error;
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
