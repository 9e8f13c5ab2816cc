// Kestrel as a program: COM numbers resolved through $ORVANE_DOSDEVICES,
// the simulated board behind a pseudo-terminal, real time. The same with
// kestrel.exe under Wine, on Wine's own COM ports (run by the Windows build).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/orvane_version.h"
#include "platform/termios_port.h"
#include "tests/loaders/kestrel/hex_text.h"
#include "tools/dspic_sim/sim_process.h"
#include "tools/testkit/pty.h"
#include "tools/testkit/wine.h"

namespace orvane {
namespace {

using dspicsim::SimProcess;
using kestreltest::Upper;
using testkit::ProgramResult;
using testkit::TempFolder;
using testkit::WineComPort;
using testkit::WineSetup;
namespace fs = std::filesystem;

std::string binDir() {
    const char* bin = std::getenv("ORVANE_BIN");
    return bin ? bin : "";
}

// Run as another user (when the test runs as root), kestrel starts from a
// copy in a folder of its own that everyone may enter: the build folder may
// sit in a private home that the other user cannot reach.
ProgramResult kestrel(const std::string& dosdevices, std::vector<std::string> arguments,
                      bool unprivileged = false) {
    std::string program = binDir() + "/kestrel";
    std::optional<TempFolder> copy;
    if (unprivileged) {
        copy.emplace("orvane-kestrel-copy");
        fs::copy_file(program, copy->file("kestrel"));
        program = copy->file("kestrel");
    }
    return testkit::runProgram(
        {program, std::move(arguments), {{"ORVANE_DOSDEVICES", dosdevices}}, 60, unprivileged});
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A firmware image that reaches from the reset vector to the highest word a
// four-byte record may carry.
kestreltest::Words wholeApplicationArea() {
    kestreltest::Words words;
    for (std::uint32_t pc = 0; pc < 0x80; pc += 2)
        words[pc] = 0x0A0000 | pc;
    for (std::uint32_t pc = 0x4000; pc < 0x4040; pc += 2)
        words[pc] = 0xB00000 | pc;
    words[0x7DFA] = 0x123456;
    return words;
}

class KestrelProcess : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(binDir().empty()) << "ORVANE_BIN is not set"; }
};

TEST_F(KestrelProcess, LoadsTheWholeApplicationAreaThroughThePtyBoard) {
    SimProcess sim(binDir(), {"--row-ms", "0"}, 4);
    kestreltest::Words words = wholeApplicationArea();
    kestreltest::WriteText(sim.folder().file("Firmware.HEX"), kestreltest::HexForWords(words));

    // After "-p N" only a name with a full stop is taken as the file name.
    ProgramResult result =
        kestrel(sim.dosdevices(), {"-p", "4", sim.folder().file("firmware.hex")});
    EXPECT_EQ(result.exitStatus, 1) << result.standardOutput << result.standardError;
    std::string name = Upper(sim.folder().path()) + "/FIRMWARE.HEX";
    EXPECT_EQ(result.standardOutput.rfind(
                  "File Name=" + name +
                      " Comm Port=4\nReset Sent\nGot something! 55\nDevice ID = 320\n"
                      "End Address: 0x7dfc Size: 32252 Bytes\n",
                  0),
              0u)
        << result.standardOutput;
    EXPECT_TRUE(endsWith(result.standardOutput,
                         "Read Memory Address: 0x7dc0\r\nGood File Download!!!\nReset Sent\n"));
    EXPECT_EQ(result.standardError, "COM4 is " +
                                        fs::read_symlink(sim.dosdevices() + "/com4").string() +
                                        " (through " + sim.dosdevices() + "/com4)\n");
    EXPECT_EQ(sim.stop(), 0) << "the board saw protocol faults";
    EXPECT_EQ(sim.stats().rowsProgrammed, 504);
    EXPECT_TRUE(sim.flash() == kestreltest::ExpectedFlash(words, 0x4000, 0x7E));
}

TEST_F(KestrelProcess, IdentifyOnlyEndsWithStatus255) {
    SimProcess sim(binDir(), {"--device-id", "352"}, 2);
    ProgramResult result = kestrel(sim.dosdevices(), {"-p", "2", "-t"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.standardOutput,
              "Comm Port=2\nReset Sent\nGot something! 55\nDevice ID = 352\n"
              "CPU Type = dsPIC30F3014\n");
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(sim.stats().rowsProgrammed, 0);
}

// Each failure prints the run's line on stdout and one line naming the
// device and the cause on stderr.
TEST_F(KestrelProcess, PortsThatCannotBeOpenedAreReportedOnBothStreams) {
    TempFolder dos("orvane-kestrel-dos");
    fs::create_symlink("/nonexistent/orvane-tty", dos.file("com5"));
    testkit::PseudoTerminal pty;
    fs::create_symlink(pty.slavePath(), dos.file("com6"));
    auto holder = TermiosPort::openDevice(pty.slavePath(), "COM6");
    ASSERT_TRUE(holder.port) << holder.error;
    kestreltest::WriteText(dos.file("locked"), "");
    // Only the group may open it: the group is named in the hint.
    chmod(dos.file("locked").c_str(), 0060);
    fs::create_symlink(dos.file("locked"), dos.file("com7"));

    const std::string hex = dos.file("fw.hex");
    kestreltest::WriteText(hex, ":00000001FF\n");
    struct Case {
        int port;
        std::string cause;
    };
    for (const auto& c : {Case{5, "No such file or directory"}, Case{6, "COM6 ("},
                          Case{7, "Permission denied; members of group '"}}) {
        std::string port = std::to_string(c.port);
        ProgramResult result = kestrel(dos.path(), {"-p", port, hex}, c.port == 7);
        EXPECT_EQ(result.exitStatus, 0) << port;
        EXPECT_EQ(result.standardOutput,
                  "File Name=" + Upper(hex) + " Comm Port=" + port + "\nOpen Comm Port Error\n");
        // The device the number stands for, then why it could not be opened.
        EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 2)
            << result.standardError;
        EXPECT_EQ(result.standardError.rfind("COM" + port + " is ", 0), 0u) << result.standardError;
        EXPECT_NE(result.standardError.find(c.cause), std::string::npos) << result.standardError;
    }
}

TEST_F(KestrelProcess, APortThatVanishesMidLoadFailsTheRunWithoutHanging) {
    SimProcess sim(binDir(), {"--vanish-after-rows", "3", "--row-ms", "0"});
    kestreltest::Words words;
    for (std::uint32_t pc = 0; pc < 0x200; pc += 2)
        words[pc] = pc;
    std::string path =
        kestreltest::WriteText(sim.folder().file("fw.hex"), kestreltest::HexForWords(words));

    ProgramResult result = testkit::runProgram(
        {binDir() + "/kestrel", {path}, {{"ORVANE_DOSDEVICES", sim.dosdevices()}}, 30, false});
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(
        endsWith(result.standardOutput,
                 "Write Block Address: 0x0080\rBad Write Acc timeout\n\nWrite Block Error!!!\n"
                 "Flash Dump Error\n"))
        << result.standardOutput;
    EXPECT_TRUE(result.standardError.ends_with("\nCOM1 went away (device disconnected)\n"))
        << result.standardError;
    sim.stop();
    EXPECT_EQ(sim.stats().rowsProgrammed, 3);
}

// "-p" with a device path, and with a by-id style link whose name holds
// "USB", names that device: no USB search, port 0 on the console, the
// device on standard error.
TEST_F(KestrelProcess, ADevicePathOrAByIdLinkNamesThePort) {
    SimProcess sim(binDir(), {}, 3);
    const std::string device = fs::read_symlink(sim.dosdevices() + "/com3").string();
    const std::string byId = sim.folder().file("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    fs::create_symlink(device, byId);
    const std::string identified =
        "Comm Port=0\nReset Sent\nGot something! 55\nDevice ID = 320\nCPU Type = dsPIC30F4013\n";
    ProgramResult direct = kestrel(sim.dosdevices(), {"-p", device, "-t"});
    EXPECT_EQ(direct.exitStatus, 255) << direct.standardOutput << direct.standardError;
    EXPECT_EQ(direct.standardOutput, identified);
    EXPECT_EQ(direct.standardError, "COM0 is " + device + "\n");
    ProgramResult linked = kestrel(sim.dosdevices(), {"-p", byId, "-t"});
    EXPECT_EQ(linked.exitStatus, 255) << linked.standardOutput << linked.standardError;
    EXPECT_EQ(linked.standardOutput, identified);
    EXPECT_EQ(linked.standardError, "COM0 is " + device + " (through " + byId + ")\n");
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(KestrelProcess, HelpPrintsTheUsageAtOnce) {
    for (const char* help : {"--help", "-h"}) {
        ProgramResult result = kestrel("/nonexistent", {help});
        EXPECT_EQ(result.exitStatus, 30);
        EXPECT_EQ(result.standardOutput.rfind(
                      "Usage: Kestrel [ -p Port_Number | -p USB | -p /dev/DEVICE ]", 0),
                  0u)
            << result.standardOutput;
        EXPECT_LT(result.seconds, 5);
    }
}

// A single argument used to be the file name whatever it was: "--version"
// and "-v" opened COM1 and pulsed its reset before the file was found
// missing. Now none of these opens the port: the board on COM1 sees no
// byte, and standard error never names the device behind the number.
TEST_F(KestrelProcess, VersionUnknownOptionsAndAMissingFileNeverTouchTheBoard) {
    SimProcess sim(binDir(), {}, 1);
    const std::string missing = sim.folder().file("missing.hex");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;  // its start
    };
    for (const Case& c :
         std::vector<Case>{{{"--version"}, 0, std::string("kestrel ") + kOrvaneVersion + "\n"},
                           {{"-v"}, 30, "Usage: Kestrel "},
                           {{"-p", "1", "--verbose", missing}, 30, "Usage: Kestrel "},
                           {{missing},
                            0,
                            "File Name=" + Upper(missing) + " Comm Port=1\nError reading " +
                                Upper(missing) + " file\n"}}) {
        ProgramResult result = kestrel(sim.dosdevices(), c.arguments);
        EXPECT_EQ(result.exitStatus, c.status)
            << c.arguments[0] << result.standardOutput << result.standardError;
        EXPECT_EQ(result.standardOutput.rfind(c.out, 0), 0u) << result.standardOutput;
        EXPECT_EQ(result.standardOutput.find("Reset Sent"), std::string::npos)
            << result.standardOutput;
        EXPECT_EQ(result.standardError.find("COM1 is"), std::string::npos) << result.standardError;
    }
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(sim.stats().bytesFromHost, 0u);
}

// Kestrel never reads a key, so it never changes the terminal: Ctrl-C while
// it searches for the bootloader leaves echo and line editing as they were.
TEST_F(KestrelProcess, AnInterruptLeavesTheTerminalAsItWas) {
    SimProcess sim(binDir(), {"--silent"}, 2);
    testkit::PseudoTerminal terminal;
    termios cooked{};
    ASSERT_EQ(tcgetattr(terminal.master(), &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    ASSERT_EQ(tcsetattr(terminal.master(), TCSANOW, &cooked), 0);
    const int input = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(input, 0);
    const std::string hex = sim.folder().file("fw.hex");
    kestreltest::WriteText(hex, ":00000001FF\n");
    testkit::ProgramRun run{binDir() + "/kestrel",
                            {"-p", "2", hex},
                            {{"ORVANE_DOSDEVICES", sim.dosdevices()}},
                            20,
                            false,
                            input,
                            1.5};
    ProgramResult result = testkit::runProgram(run);
    ::close(input);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.signal, SIGINT) << result.standardOutput;
    termios after{};
    ASSERT_EQ(tcgetattr(terminal.master(), &after), 0);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
}

// kestrel.exe under Wine, on a COM port of the Wine prefix that is linked to
// the simulator's pseudo-terminal.
class KestrelUnderWine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(binDir().empty()) << "ORVANE_BIN is not set";
        ASSERT_TRUE(wine.complete()) << "ORVANE_WINE, WINEPREFIX or ORVANE_WIN_BIN is not set";
    }
    ProgramResult kestrelExe(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), wine.winBin + "/kestrel.exe");
        ProgramResult result = testkit::runProgram({wine.wine, arguments, {}, 120, false});
        result.standardOutput = testkit::LinuxLineEnds(result.standardOutput);
        result.standardError = testkit::LinuxLineEnds(result.standardError);
        return result;
    }
    // The simulator's pseudo-terminal, as COM N of the Wine prefix.
    std::unique_ptr<WineComPort> wineCom(const SimProcess& sim, int port) {
        std::string device = fs::read_symlink(sim.dosdevices() + "/com" + std::to_string(port));
        return std::make_unique<WineComPort>(wine.prefix, port, device);
    }

    WineSetup wine = WineSetup::fromEnvironment();
};

// A line settings check from the Linux side: what SetCommState left on the device.
void ExpectRawEightNOneAt57600(const std::string& device) {
    int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << device;
    termios settings{};
    ASSERT_EQ(tcgetattr(fd, &settings), 0);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&settings), B57600);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), 0u);
}

// COM14 is opened by its long name ("\\.\COM14"), the file by a Windows path.
TEST_F(KestrelUnderWine, LoadsTheWholeApplicationAreaAndTheFlashEqualsTheFile) {
    SimProcess sim(binDir(), {"--row-ms", "0"}, 14);
    auto com14 = wineCom(sim, 14);
    kestreltest::Words words = wholeApplicationArea();
    kestreltest::WriteText(sim.folder().file("Firmware.HEX"), kestreltest::HexForWords(words));

    std::string windowsFolder = testkit::WindowsPath(sim.folder().path());
    ProgramResult result = kestrelExe({"-p", "14", windowsFolder + "\\firmware.hex"});
    EXPECT_EQ(result.exitStatus, 1) << result.standardOutput << result.standardError;
    EXPECT_EQ(result.standardOutput.rfind(
                  "File Name=" + Upper(windowsFolder) +
                      "\\FIRMWARE.HEX Comm Port=14\nReset Sent\nGot something! 55\n"
                      "Device ID = 320\nEnd Address: 0x7dfc Size: 32252 Bytes\n",
                  0),
              0u)
        << result.standardOutput;
    EXPECT_TRUE(endsWith(result.standardOutput,
                         "Read Memory Address: 0x7dc0\r\nGood File Download!!!\nReset Sent\n"));
    EXPECT_EQ(result.standardError, "");
    ExpectRawEightNOneAt57600(fs::read_symlink(sim.dosdevices() + "/com14"));
    EXPECT_EQ(sim.stop(), 0) << "the board saw protocol faults";
    EXPECT_EQ(sim.stats().rowsProgrammed, 504);
    EXPECT_TRUE(sim.flash() == kestreltest::ExpectedFlash(words, 0x4000, 0x7E));
}

TEST_F(KestrelUnderWine, IdentifiesTheChipOnAShortComName) {
    SimProcess sim(binDir(), {"--device-id", "352"}, 3);
    auto com3 = wineCom(sim, 3);
    ProgramResult result = kestrelExe({"-p", "3", "-t"});
    EXPECT_EQ(result.exitStatus, 255);  // -1, as Wine hands it to Linux
    EXPECT_EQ(result.standardOutput,
              "Comm Port=3\nReset Sent\nGot something! 55\nDevice ID = 352\n"
              "CPU Type = dsPIC30F3014\n");
    EXPECT_EQ(sim.stop(), 0);
}

// A missing port says on standard error what Windows said; the USB search
// finds no adapter among Wine's ports.
TEST_F(KestrelUnderWine, AMissingPortOrNoUsbAdapterEndsTheRunWithItsStatus) {
    std::error_code ec;
    fs::remove(wine.prefix + "/dosdevices/com29", ec);
    TempFolder folder("orvane-kestrel-wine");
    kestreltest::WriteText(folder.file("fw.hex"), ":00000001FF\n");
    const std::string hex = testkit::WindowsPath(folder.path()) + "\\fw.hex";
    ProgramResult missing = kestrelExe({"-p", "29", hex});
    EXPECT_EQ(missing.exitStatus, 0);
    EXPECT_EQ(missing.standardOutput,
              "File Name=" + Upper(hex) + " Comm Port=29\nOpen Comm Port Error\n");
    EXPECT_EQ(missing.standardError.rfind("cannot open COM29 (\\\\.\\COM29): ", 0), 0u)
        << missing.standardError;
    EXPECT_EQ(std::count(missing.standardError.begin(), missing.standardError.end(), '\n'), 1)
        << missing.standardError;

    ProgramResult usb = kestrelExe({"-p", "USB", hex});
    EXPECT_EQ(usb.exitStatus, 20);
    EXPECT_EQ(usb.standardOutput, "USB Port Not Found!\n");
}

TEST_F(KestrelUnderWine, APortThatVanishesMidLoadFailsTheRunWithoutHanging) {
    SimProcess sim(binDir(), {"--vanish-after-rows", "3", "--row-ms", "0"}, 16);
    auto com16 = wineCom(sim, 16);
    kestreltest::Words words;
    for (std::uint32_t pc = 0; pc < 0x200; pc += 2)
        words[pc] = pc;
    std::string path =
        kestreltest::WriteText(sim.folder().file("fw.hex"), kestreltest::HexForWords(words));

    ProgramResult result = kestrelExe({"-p", "16", testkit::WindowsPath(path)});
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(endsWith(result.standardOutput,
                         "Bad Write Acc timeout\n\nWrite Block Error!!!\nFlash Dump Error\n"))
        << result.standardOutput;
    EXPECT_EQ(result.standardError, "COM16 went away (device disconnected)\n");
    sim.stop();
    EXPECT_EQ(sim.stats().rowsProgrammed, 3);
}

}  // namespace
}  // namespace orvane
