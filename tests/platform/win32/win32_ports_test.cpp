// The Windows carriers of the loaders against the real Win32 calls (under
// Wine in the test run): COM names handed to CreateFile, what Windows says
// when a port cannot be opened, the USB-serial search through
// QueryDosDevice, sleeps that keep their length, and a port with a loopback
// plug (scripts/pty-loopback: what is written comes back 200 ms later).
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "loaders/common/serial_link.h"
#include "platform/clock.h"
#include "platform/win32/system_message.h"
#include "platform/win32/win32_port.h"
#include "tools/testkit/memory_console.h"

namespace orvane {
namespace {

// A DOS device name defined for the life of the object, the way a serial
// driver publishes its port ("COM7" for "\Device\VCP0").
class DosDeviceDefinition {
  public:
    DosDeviceDefinition(std::string name, std::string target)
        : name_(std::move(name)), target_(std::move(target)) {
        defined_ = DefineDosDeviceA(DDD_RAW_TARGET_PATH, name_.c_str(), target_.c_str()) != 0;
    }
    ~DosDeviceDefinition() {
        if (defined_)
            DefineDosDeviceA(
                DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                name_.c_str(), target_.c_str());
    }
    DosDeviceDefinition(const DosDeviceDefinition&) = delete;
    DosDeviceDefinition& operator=(const DosDeviceDefinition&) = delete;
    bool defined() const { return defined_; }

  private:
    std::string name_;
    std::string target_;
    bool defined_ = false;
};

// What Kestrel's -p USB finds on this machine: 0 for nothing.
int usbPortFound() {
    Win32PortDirectory ports;
    RealClock clock;
    testkit::MemoryConsole console;
    SerialLink link(ports, clock, console, kKestrelLink);
    link.portNumber = 0;
    EXPECT_TRUE(link.FindUsbSerialPort());
    return link.portNumber;
}

TEST(Win32UsbSearch, TheHighestComPortOfAUsbSerialDriverWins) {
    DosDeviceDefinition com3("COM3", "\\Device\\VCP1");
    DosDeviceDefinition com7("COM7", "\\Device\\VCP0");
    DosDeviceDefinition com8("COM8", "\\Device\\Serial3");
    ASSERT_TRUE(com3.defined() && com7.defined() && com8.defined());
    EXPECT_EQ(usbPortFound(), 7);
}

TEST(Win32UsbSearch, EveryCommonAdapterDriverCountsAndNothingElse) {
    for (const char* driver :
         {"\\Device\\VCP0", "\\Device\\USBSER000", "\\Device\\usbser001", "\\Device\\Silabser0",
          "\\Device\\CH341SER_A64", "\\Device\\ProlificSerial0"}) {
        DosDeviceDefinition com6("COM6", driver);
        ASSERT_TRUE(com6.defined()) << driver;
        EXPECT_EQ(usbPortFound(), 6) << driver;
    }
    // A built-in port, a Bluetooth link, and "vcp" that is not FTDI's mark.
    for (const char* other : {"\\Device\\Serial1", "\\Device\\BthModem0", "\\Device\\vcp0"}) {
        DosDeviceDefinition com6("COM6", other);
        ASSERT_TRUE(com6.defined()) << other;
        EXPECT_EQ(usbPortFound(), 0) << other;
    }
}

// COM1 to COM9 are opened by their short names, every other number by the
// long form; a refusal names both and says what Windows said.
TEST(Win32Port, PortsThatCannotBeOpenedSayWhatWindowsSaid) {
    Win32PortDirectory ports;
    struct Case {
        int port;
        std::string device;
    };
    for (const Case& c : {Case{9, "COM9"}, Case{10, "\\\\.\\COM10"}, Case{0, "\\\\.\\COM0"},
                          Case{257, "\\\\.\\COM257"}}) {
        PortOpenResult opened = ports.open(c.port);
        EXPECT_FALSE(opened.port) << c.port;
        std::string place = "COM" + std::to_string(c.port) + " (" + c.device + ")";
        EXPECT_EQ(opened.error.rfind("cannot open " + place + ": ", 0), 0u) << opened.error;
        std::string said = opened.error.substr(opened.error.find("): ") + 3);
        EXPECT_FALSE(said.empty());
        EXPECT_EQ(said.find_first_of("\r\n"), std::string::npos) << said;
    }
    EXPECT_EQ(ports.open(29).error,
              "cannot open COM29 (\\\\.\\COM29): " + SystemMessage(ERROR_FILE_NOT_FOUND));
}

// Without the finer timer a 20 ms sleep lasts two 15.6 ms ticks: the 200
// polls of a 4-second wait would take over 6 seconds.
TEST(Win32Clock, TwentyMillisecondSleepsKeepTheirLength) {
    RealClock clock;
    std::int64_t start = clock.nowMs();
    for (int i = 0; i < 25; ++i)
        clock.sleepMs(20);
    std::int64_t elapsed = clock.nowMs() - start;
    EXPECT_GE(elapsed, 500);
    EXPECT_LT(elapsed, 700);
}

// The COM port with the loopback plug, from $ORVANE_LOOPBACK_COM.
class Win32PortOnLoopback : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* number = std::getenv("ORVANE_LOOPBACK_COM");
        ASSERT_TRUE(number) << "ORVANE_LOOPBACK_COM is not set";
        portNumber = std::atoi(number);
    }
    std::unique_ptr<SerialPort> openConfigured() {
        PortOpenResult opened = ports.open(portNumber);
        EXPECT_TRUE(opened.port) << opened.error;
        if (opened.port) {
            EXPECT_TRUE(opened.port->configure(57600));
        }
        return std::move(opened.port);
    }

    int portNumber = 0;
    Win32PortDirectory ports;
    RealClock clock;
};

using Ms = std::chrono::milliseconds;
constexpr int kEchoMs = 200;

// Waits until the port holds the count of bytes, for at most three seconds:
// the plug returns a frame byte by byte.
bool bytesArrive(SerialPort& port, std::size_t count) {
    RealClock clock;
    const std::int64_t end = clock.nowMs() + 3000;
    while (port.bytesWaiting() < count && clock.nowMs() < end)
        clock.sleepMs(2);
    return port.bytesWaiting() == count;
}

long elapsedMs(std::chrono::steady_clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - since).count());
}

TEST_F(Win32PortOnLoopback, WrittenBytesComeBackCountedAndInOrder) {
    auto port = openConfigured();
    ASSERT_TRUE(port);
    const std::uint8_t frame[] = {0x0F, 0x0F, 0x00, 0x02, 0xFE, 0x04};
    EXPECT_EQ(port->write(frame, sizeof frame, 5000), sizeof frame);
    EXPECT_TRUE(bytesArrive(*port, sizeof frame));
    std::uint8_t got[16] = {};
    EXPECT_EQ(port->read(got, 4), 4u);
    EXPECT_EQ(port->read(got + 4, sizeof got - 4), 2u);
    EXPECT_EQ(std::vector<std::uint8_t>(got, got + 6),
              std::vector<std::uint8_t>(frame, frame + sizeof frame));
    EXPECT_EQ(port->bytesWaiting(), 0u);
    EXPECT_FALSE(port->disconnected());
}

TEST_F(Win32PortOnLoopback, WaitForInputEndsAtItsBoundOrAtTheFirstByte) {
    auto port = openConfigured();
    ASSERT_TRUE(port);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port->waitForInput(100));
    EXPECT_GE(elapsedMs(start), 95);
    EXPECT_LT(elapsedMs(start), 1000);

    const std::uint8_t byte = 0x5A;
    ASSERT_EQ(port->write(&byte, 1, 5000), 1u);
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(port->waitForInput(3000));
    EXPECT_GE(elapsedMs(start), kEchoMs - 50);
    EXPECT_LT(elapsedMs(start), 1000);
    // The byte that ended the wait is still there to be read.
    EXPECT_EQ(port->bytesWaiting(), 1u);
    std::uint8_t got = 0;
    EXPECT_EQ(port->read(&got, 1), 1u);
    EXPECT_EQ(got, 0x5A);
}

TEST_F(Win32PortOnLoopback, APurgeLetsWrittenBytesLeaveThenEmptiesTheQueues) {
    auto port = openConfigured();
    ASSERT_TRUE(port);
    const std::uint8_t bytes[] = {1, 2, 3};
    ASSERT_EQ(port->write(bytes, sizeof bytes, 5000), sizeof bytes);
    port->purge();  // the bytes were on their way: they still reach the plug
    EXPECT_TRUE(bytesArrive(*port, 3));
    port->purge();
    EXPECT_EQ(port->bytesWaiting(), 0u);
    std::uint8_t got[4] = {};
    EXPECT_EQ(port->read(got, sizeof got), 0u);
}

// The link's operations on the real port keep the bounds of their polls.
TEST_F(Win32PortOnLoopback, LinkWaitsEndWithinTheirBoundsAndTakeTheFirstNonZeroByte) {
    testkit::MemoryConsole console;
    SerialLink link(ports, clock, console, kKestrelLink);
    ASSERT_TRUE(link.OpenPort(portNumber, 57600)) << console.errors();
    std::uint8_t byte = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.GetResp(byte));
    EXPECT_GE(elapsedMs(start), 480);
    EXPECT_LT(elapsedMs(start), 2000);

    for (std::uint8_t sent : {0x00, 0x00, 0x55, 0x13})
        ASSERT_TRUE(link.WriteByte(sent));
    EXPECT_TRUE(link.GetResp(byte));
    EXPECT_EQ(byte, 0x55);
    EXPECT_EQ(console.text(), "timeout\nGot something! 55\n");

    ASSERT_TRUE(link.WriteByte(0xA7));
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(link.ReadByteWait(byte));
    EXPECT_EQ(byte, 0xA7);
    EXPECT_LT(elapsedMs(start), 1000);
    EXPECT_EQ(link.ClosePort(), 1);
    EXPECT_EQ(link.ClosePort(), -1);
}

}  // namespace
}  // namespace orvane
