#include "loaders/kestrel/kestrel_cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <map>
#include <memory>

#include "loaders/kestrel/hex_file_name.h"
#include "platform/orvane_version.h"
#include "tests/loaders/kestrel/hex_text.h"
#include "tools/dspic_sim/dspic_sim_board.h"
#include "tools/dspic_sim/sim_process.h"
#include "tools/testkit/memory_console.h"

namespace orvane {
namespace {

using dspicsim::BoardOptions;
using dspicsim::DspicSimBoard;
using kestreltest::Words;

const std::string kUsage =
    "Usage: Kestrel [ -p Port_Number | -p USB | -p /dev/DEVICE ] [ -t ] Hex_File\n"
    "Loads an Intel HEX file into a dsPIC30F4013/3014 board through its serial\n"
    "bootloader, reads it back and verifies it. Exit status 1: load completed.\n"
    "Optional Parameters:\n"
    "    -p Port_Number  any COM number (dosdevices comN, else COM1 = /dev/ttyS0,\n"
    "                    COM33 = /dev/ttyUSB0, COM65 = /dev/ttyACM0) Default=1\n"
    "    -p USB          the highest-numbered USB-serial adapter\n"
    "    -p /dev/DEVICE  the serial device named by its path\n"
    "    -t              Display Dspic CPU Type (nothing is loaded)\n"
    "    -b Baud_Rate    accepted and ignored: the link runs at 57600 baud\n"
    "    -h, --help      this text; --version prints the version\n";

const Words kFirmware = {
    {0x0, 0x040100}, {0x2, 0x000000}, {0x100, 0xFA0004}, {0x102, 0x2FFFF0}, {0x17E, 0x000000}};

std::string progress(const char* format, int rows) {
    std::string text;
    for (int row = 0; row < rows; ++row)
        text += formatText(format, 64 * row);
    return text + "\n";
}

// Runs a test inside its own folder, so that the file names typed are the
// short ones a user types and the lines expected can be written out whole.
class WorkingFolder {
  public:
    explicit WorkingFolder(const std::string& path) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~WorkingFolder() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

  private:
    std::filesystem::path previous_;
};

class KestrelRun : public ::testing::Test {
  protected:
    testkit::VirtualClock clock;
    testkit::SimPortDirectory ports{clock};
    testkit::MemoryConsole console;
    dspicsim::TempFolder folder{"orvane-kestrel-run"};
    WorkingFolder inside{folder.path()};
    std::map<int, std::unique_ptr<DspicSimBoard>> boards;

    DspicSimBoard& attach(int port, BoardOptions options = {}) {
        boards[port] = std::make_unique<DspicSimBoard>(std::move(options));
        ports.attach(port, *boards[port]);
        return *boards[port];
    }
    // Writes the file into the test's folder and returns its name as typed.
    std::string hexFile(const std::string& name, const std::string& text) {
        kestreltest::WriteText(folder.file(name), text);
        return name;
    }
    std::string firmware() { return hexFile("firm.hex", kestreltest::HexForWords(kFirmware)); }
    int run(std::vector<std::string> arguments) {
        return RunKestrel(arguments, ports, clock, console);
    }
    std::string head(int port = 1, int deviceId = 320) {
        return formatText("Comm Port=%d\nReset Sent\nGot something! 55\nDevice ID = %d\n", port,
                          deviceId);
    }
    // The lines up to the identified device, for the name as the console shows it.
    std::string loadHead(const std::string& shownName, int port = 1) {
        return "File Name=" + shownName + " " + head(port);
    }
    bool anyRowWritten(int port = 1) {
        const auto& written = ports.line(port).written;
        return std::find(written.begin(), written.end(), 0x02) != written.end();
    }
};

TEST_F(KestrelRun, CompletedLoadPrintsItsLinesInOrderAndLeavesTheWordsOnTheBoard) {
    DspicSimBoard& board = attach(1);
    std::string path = firmware();
    EXPECT_EQ(run({path}), 1);
    // Image end 0x180 words * 2 + 4 = 0x300 bytes: six rows after the extra one.
    std::string expected = loadHead("FIRM.HEX") +
                           "End Address: 0x180 Size: 384 Bytes\n"
                           "Downloading to device dsPIC30F4013...\n" +
                           progress("Write Block Address: 0x%04x\r", 7) + "Verifying...\n" +
                           progress("Read Memory Address: 0x%04x\r", 7) +
                           "Good File Download!!!\nReset Sent\n";
    EXPECT_EQ(console.text(), expected);
    EXPECT_EQ(console.errors(), "");
    EXPECT_EQ(board.bootloader().flashImage(), kestreltest::ExpectedFlash(kFirmware, 0x4000, 0x7E));
    EXPECT_TRUE(board.bootloader().faults().empty());
    EXPECT_EQ(ports.line(1).bauds, std::vector<int>{57600});
}

TEST_F(KestrelRun, CompletedLoadEndsWithAPlainPulseThenTheNoticedReset) {
    attach(1);
    ASSERT_EQ(run({firmware()}), 1);
    const auto& line = ports.line(1);
    const auto& dtr = line.dtrChanges;
    ASSERT_GE(dtr.size(), 4u);
    std::int64_t pulse = dtr[dtr.size() - 4].first;
    EXPECT_GT(pulse, line.writes.back().atMs);  // after the last read command
    using Change = std::pair<std::int64_t, bool>;
    EXPECT_EQ(
        std::vector<Change>(dtr.end() - 4, dtr.end()),
        (std::vector<Change>{
            {pulse, true}, {pulse + 1000, false}, {pulse + 1000, true}, {pulse + 2000, false}}));
    EXPECT_EQ(clock.nowMs(), pulse + 3000);  // the noticed reset settles a second
    EXPECT_EQ(line.purges, 1);               // before the probe
    EXPECT_EQ(line.closes, 1);               // the final close
}

TEST_F(KestrelRun, IdentifyOnlyPrintsTheChipAndEndsWithTheClosedPortResult) {
    attach(1);
    EXPECT_EQ(run({"-t"}), -1);
    EXPECT_EQ(console.text(), head() + "CPU Type = dsPIC30F4013\n");
    EXPECT_EQ(ports.line(1).dtrChanges.size(), 6u);  // notice, probe and closing pulses only

    console.clear();
    attach(3, BoardOptions{.deviceId = 352});
    EXPECT_EQ(run({"-p", "3", "-t"}), -1);
    EXPECT_EQ(console.text(), head(3, 352) + "CPU Type = dsPIC30F3014\n");

    console.clear();
    EXPECT_EQ(run({"-t", folder.file("never-read.hex")}), -1);
    EXPECT_EQ(console.text(), head() + "CPU Type = dsPIC30F4013\n");
}

TEST_F(KestrelRun, RefusedArgumentsPrintTheUsageAndOpenNothing) {
    attach(1);
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"-p", "3"},
                                               {"-t", "-p", "3"},
                                               {"-t", "-p"},
                                               {"--help"},
                                               {"-h"},
                                               {"-p", "3", "--help", "a.hex"},
                                               {"a.hex", "-h"},
                                               {"-v"},
                                               {"--verbose"},
                                               {"-"},
                                               {"-x", "a.hex"},
                                               {"a.hex", "-p", "3", "--baud=9600"},
                                               {"-P", "3", "a.hex"}}) {
        console.clear();
        EXPECT_EQ(run(arguments), 30) << arguments.size();
        EXPECT_EQ(console.text(), kUsage);
    }
    EXPECT_EQ(ports.openAttempts(), 0);
    EXPECT_TRUE(ports.line(1).written.empty());
}

TEST_F(KestrelRun, VersionPrintsTheVersionAndOpensNothing) {
    attach(1);
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--version"}, {"-p", "1", "--version"}, {"-t", "--version"}}) {
        console.clear();
        EXPECT_EQ(run(arguments), 0);
        EXPECT_EQ(console.text(), std::string("kestrel ") + kOrvaneVersion + "\n");
    }
    EXPECT_EQ(ports.openAttempts(), 0);
}

// A value after -p or -b is not taken for an option, whatever it begins with.
TEST_F(KestrelRun, OptionValuesAreNotRefusedAsOptions) {
    attach(1);
    std::string path = firmware();
    EXPECT_EQ(run({"-b", "-9600", "-p", "1", path}), 1);
    EXPECT_EQ(console.text().rfind("File Name=FIRM.HEX Comm Port=1\n", 0), 0u) << console.text();
}

TEST(KestrelArguments, PortValuesFileNamesAndModesAreTakenAsTheWalkFindsThem) {
    struct Case {
        std::vector<std::string> arguments;
        int port;
        bool usb, identify;
        std::string file;
    };
    for (const auto& c : std::vector<Case>{
             {{"-p", "25", "a.hex"}, 25, false, false, "a.hex"},
             {{"-p", "abc", "a.hex"}, 0, false, false, "a.hex"},
             {{"-p", "9x", "a.hex"}, 9, false, false, "a.hex"},
             {{"-p", "99999999999", "a.hex"}, INT_MAX, false, false, "a.hex"},
             {{"-p", "USB", "-p", "3", "a.hex"}, 3, true, false, "a.hex"},
             {{"a.hex", "b.hex", "x", "y"}, 1, false, false, "b.hex"},
             {{"a.hex", "-t"}, 1, false, false, "a.hex"},
             {{"-t", "-b", "9600", "a.hex"}, 1, false, true, "a.hex"},
             {{"noext"}, 1, false, false, "noext"},
             {{"-p"}, 1, false, false, "-p"},
         }) {
        std::string line;
        for (const auto& argument : c.arguments)
            line += argument + " ";
        auto settings = ScanArguments(c.arguments);
        ASSERT_TRUE(settings) << line;
        EXPECT_EQ(settings->portNumber, c.port) << line;
        EXPECT_EQ(settings->usbMode, c.usb) << line;
        EXPECT_EQ(settings->identifyOnly, c.identify) << line;
        EXPECT_EQ(settings->fileName, c.file) << line;
    }
}

// A value that begins with "/" names the device, even one whose name holds
// "USB"; the last "-p" decides between a device, a number and the search.
TEST(KestrelArguments, ADevicePathIsNoUsbSearch) {
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    struct Case {
        std::vector<std::string> arguments;
        int port;
        bool usb;
        std::string device;
    };
    for (const auto& c : std::vector<Case>{
             {{"-p", "/dev/ttyUSB0", "a.hex"}, 0, false, "/dev/ttyUSB0"},
             {{"-p", byId, "-t"}, 0, false, byId},
             {{"-p", "USB", "-p", "/dev/ttyACM0", "a.hex"}, 0, false, "/dev/ttyACM0"},
             {{"-p", "/dev/ttyUSB0", "-p", "4", "a.hex"}, 4, false, ""},
             {{"-p", "/dev/ttyUSB0", "-p", "USB", "a.hex"}, 0, true, ""},
         }) {
        auto settings = ScanArguments(c.arguments);
        ASSERT_TRUE(settings) << c.arguments[1];
        EXPECT_EQ(settings->portNumber, c.port) << c.arguments[1];
        EXPECT_EQ(settings->usbMode, c.usb) << c.arguments[1];
        EXPECT_EQ(settings->portDevice, c.device) << c.arguments[1];
    }
}

TEST_F(KestrelRun, ADevicePathOpensThatDeviceAsPortZero) {
    DspicSimBoard adapter;
    ports.attachDevice("/dev/ttyUSB0", adapter);
    ports.setUsbAdapters({"COM7"}, {"COM7"});
    std::string path = firmware();
    EXPECT_EQ(run({"-p", "/dev/ttyUSB0", path}), 1);
    EXPECT_EQ(console.text().rfind(loadHead("FIRM.HEX", 0), 0), 0u) << console.text();
    EXPECT_EQ(ports.openedNumbers(), std::vector<int>{0});
    EXPECT_EQ(adapter.bootloader().rowsProgrammed(), 7);
}

TEST_F(KestrelRun, PortArgumentsChooseTheLineAndTheSpeedStaysFixed) {
    for (int port : {1, 3, 12})
        attach(port);
    std::string path = firmware();
    struct Case {
        std::vector<std::string> arguments;
        int port;
    };
    for (const auto& c : std::vector<Case>{{{"-b", "9600", path}, 1},
                                           {{path, "-p", "3"}, 3},
                                           {{"-p", "12", path}, 12},
                                           {{path, "-t"}, 1}}) {
        console.clear();
        int opensBefore = ports.opens();
        EXPECT_EQ(run(c.arguments), 1) << c.port;
        EXPECT_EQ(console.text().rfind(loadHead("FIRM.HEX", c.port), 0), 0u) << console.text();
        EXPECT_EQ(ports.openedNumbers().at(static_cast<std::size_t>(opensBefore)), c.port);
    }
    for (int port : {1, 3, 12})
        EXPECT_EQ(ports.line(port).bauds, std::vector<int>(ports.line(port).bauds.size(), 57600));
}

TEST_F(KestrelRun, UsbModeNeedsAnUpperCaseUsbAndAnAdapter) {
    attach(7);
    std::string path = firmware();
    EXPECT_EQ(run({"-p", "USB", path}), 20);
    EXPECT_EQ(console.text(), "USB Port Not Found!\n");
    EXPECT_EQ(ports.opens(), 0);

    console.clear();
    EXPECT_EQ(run({"-p", "usb", path}), 0);
    EXPECT_EQ(console.text(), "File Name=FIRM.HEX Comm Port=0\nOpen Comm Port Error\n");

    console.clear();
    ports.setUsbAdapters({"COM3", "COM7", "COM12"}, {"COM3", "COM7"});
    EXPECT_EQ(run({"-p", "xUSBx", path}), 1);
    EXPECT_EQ(console.text().rfind("USB Port = 7\n" + loadHead("FIRM.HEX", 7), 0), 0u);
}

TEST_F(KestrelRun, FileNamesAreUpperCasedForPrintingAndFoundInAnyCase) {
    attach(1);
    std::string words = kestreltest::HexForWords(kFirmware);
    std::filesystem::create_directory(folder.file("Sub"));
    hexFile("Sub/Firmware.Hex", words);
    EXPECT_EQ(run({"Sub/firmware"}), 1);
    EXPECT_EQ(console.text().rfind("File Name=SUB/FIRMWARE.HEX Comm Port=1\n", 0), 0u)
        << console.text();

    console.clear();
    hexFile("prog.hexfile", words);
    EXPECT_EQ(run({"prog.hexfile", "-p", "1"}), 1);
    EXPECT_EQ(console.text().rfind("File Name=PROG.HEXFILE Comm Port=1\n", 0), 0u)
        << console.text();
}

TEST_F(KestrelRun, LocatingPrefersTheTypedNameThenTheFirstCaseInsensitiveMatch) {
    std::filesystem::create_directory(folder.file("Sub"));
    std::string sub = folder.file("Sub/");
    // Where two names that differ only in case are one file (Windows), there
    // is no choice between them to make.
    kestreltest::WriteText(sub + "probe", "");
    if (std::filesystem::exists(sub + "PROBE"))
        GTEST_SKIP() << "file names here are one file whatever their case";
    std::filesystem::remove(sub + "probe");
    for (const char* name : {"fw.HEX", "FW.hex", "exact.hex", "EXACT.HEX"})
        kestreltest::WriteText(sub + name, ":00000001FF\n");
    auto locate = [](const std::string& typed) {
        return LocateHexFile(typed, NormaliseHexFileName(typed)).value_or("(none)");
    };
    EXPECT_EQ(locate(sub + "fw"), sub + "FW.hex");            // sorted first of two
    EXPECT_EQ(locate(sub + "exact.hex"), sub + "exact.hex");  // typed name as it stands
    EXPECT_EQ(locate(sub + "Exact.hex"), sub + "EXACT.HEX");  // else searched
    EXPECT_EQ(locate(sub + "fw.hex.gz"), "(none)");
    EXPECT_EQ(locate(folder.file("sub/fw")), "(none)");  // the folder keeps its case
}

TEST_F(KestrelRun, SilentBoardIsGivenUpAfterTheTenthProbe) {
    attach(1, BoardOptions{.silent = true});
    std::string path = firmware();
    EXPECT_EQ(run({path}), 0);
    std::string probes;
    for (int i = 0; i < 10; ++i)
        probes += "timeout\nsts=0\n";
    EXPECT_EQ(console.text(),
              "File Name=FIRM.HEX Comm Port=1\nReset Sent\n" + probes + "Bootloader not found\n");
    EXPECT_EQ(clock.sleptMs(), 2000 + 10 * 2600);
}

TEST_F(KestrelRun, BoardFaultsBeforeTheLoadEndTheRunWithTheirLines) {
    std::vector<BoardOptions> cases{
        {.deviceId = 999}, {.versionMinor = 3}, {.deviceIdUnreadable = true}};
    std::string path = firmware();
    std::string opened = "File Name=FIRM.HEX Comm Port=1\nReset Sent\nGot something! 55\n";
    std::vector<std::string> expected{
        opened + "Device ID = 999\nUnknown Device ID 999 (0x3e7)\n",
        opened + "GetLoaderID Bad Ver: 1.3\nGetLoaderID Bad Ver: 1.3\nBad Bootloader ID\n",
        opened + "Can't get device ID\n"};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        console.clear();
        attach(1, cases[i]);
        EXPECT_EQ(run({path}), 0) << i;
        EXPECT_EQ(console.text(), expected[i]);
        EXPECT_FALSE(anyRowWritten());
    }
}

// The acknowledge after a device-ID reply with a wrong checksum is still on
// the line: the second try must not take it for the start of its reply.
TEST_F(KestrelRun, TheSecondDeviceIdTryReadsItsOwnReply) {
    DspicSimBoard& board = attach(1, BoardOptions{.deviceIdChecksumFaults = 1});
    std::string path = firmware();
    EXPECT_EQ(run({path}), 1) << console.text();
    // 00 01 40, 00 30 01 and two zero words sum to 0x72; the board sent 0x73.
    EXPECT_EQ(console.text().rfind("File Name=" + NormaliseHexFileName(path) +
                                       " Comm Port=1\nReset Sent\nGot something! 55\n"
                                       "Checksum Error=72 73\nDevice ID = 320\n",
                                   0),
              0u)
        << console.text();
    EXPECT_TRUE(console.text().ends_with("Good File Download!!!\nReset Sent\n"));
    EXPECT_EQ(board.bootloader().flashImage(), kestreltest::ExpectedFlash(kFirmware, 0x4000, 0x7E));
    EXPECT_TRUE(board.bootloader().faults().empty());
}

TEST_F(KestrelRun, VerifyDifferenceIsReportedAndTheLoadStillCompletes) {
    attach(1, BoardOptions{.readBackOverride = {{0x206, 0x2E}}});
    std::string path = firmware();
    EXPECT_EQ(run({path}), 1);
    std::string text = console.text();
    std::string report =
        "\n!!!!!!!!!!!!!!!!! Flash Read/Write Error !!!!!!!!!!\n0206: w:2f r:2e\n"
        "Good File Download!!!\nReset Sent\n";
    ASSERT_GE(text.size(), report.size());
    EXPECT_EQ(text.substr(text.size() - report.size()), report);
}

TEST_F(KestrelRun, TransferFaultsEndInFlashDumpErrorAndAClosedPort) {
    std::string path = firmware();
    struct Case {
        BoardOptions options;
        std::string tail;
    };
    for (const auto& c : std::vector<Case>{
             {{.readChecksum = BoardOptions::ReadChecksum::Complement},
              "Verifying...\nRead Memory Address: 0x0000\rChecksum Error=28 d8\n"
              "\nRead Memory Block Error\nFlash Dump Error\n"},
             {{.acknowledgedRows = 3},
              "Write Block Address: 0x00c0\rBad Write Acc timeout\n\nWrite Block Error!!!\n"
              "Flash Dump Error\n"},
             {{.vanishAfterRows = 2},
              "Write Block Address: 0x0040\rBad Write Acc timeout\n\nWrite Block Error!!!\n"
              "Flash Dump Error\n"}}) {
        console.clear();
        attach(1, c.options);
        int purges = ports.line(1).purges;
        int closes = ports.line(1).closes;
        EXPECT_EQ(run({path}), 0);
        std::string text = console.text();
        ASSERT_GE(text.size(), c.tail.size());
        EXPECT_EQ(text.substr(text.size() - c.tail.size()), c.tail);
        EXPECT_EQ(ports.line(1).purges - purges, 1);  // before the probe
        EXPECT_EQ(ports.line(1).closes - closes, 1);  // the close after the error
    }
    EXPECT_EQ(console.errors(), "COM1 went away (device disconnected)\n");
}

// Files that are no usable firmware are refused after identification, and
// nothing reaches the board.
TEST_F(KestrelRun, BadHexFilesAreRefusedWithTheirLinesAndNothingIsWritten) {
    using kestreltest::HexRecord;
    std::string good = HexRecord(0x100, 0, {1, 2, 3, 4});
    std::string garbage;
    for (int i = 0; i < 2048; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    std::filesystem::create_directory(folder.file("dir.hex"));
    struct Case {
        std::string name;
        std::string text;  // not written when empty
        std::string lines;
        std::string shown;  // the name as the console shows it
    };
    std::vector<Case> cases{
        {"missing.hex", "", "", "MISSING.HEX"},
        {"dir.hex", "", "", "DIR.HEX"},
        {"garbage.hex", garbage, "", "GARBAGE.HEX"},
        {"nonhex.hex", good.substr(0, 9) + "0G" + good.substr(11) + "\n", "Bad record in line 1\n",
         "NONHEX.HEX"},
        {"odd.hex", good + "0\n", "Bad record in line 1\n", "ODD.HEX"},
        {"count.hex", ":05" + good.substr(3) + "\n", "Bad record in line 1\n", "COUNT.HEX"},
        {"loader.hex", HexRecord(0xFC02, 0, {1, 2, 3, 4}) + "\n",
         "Warning address 0xfc02 in boot area. Hex recorded skipped.\n", "LOADER.HEX"},
        {"beyond.hex", HexRecord(0, 4, {0x00, 0x01}) + "\n" + HexRecord(0, 0, {1}) + "\n",
         "Warning address 0x10000 in boot area. Hex recorded skipped.\n", "BEYOND.HEX"},
        {"limit.hex", HexRecord(0xFBF0, 0, std::vector<std::uint8_t>(16, 0xAB)) + "\n",
         "Memory load error\n", "LIMIT.HEX"},
    };
    for (const auto& c : cases) {
        console.clear();
        DspicSimBoard& board = attach(1);
        int attempts = ports.openAttempts();
        std::string path = c.text.empty() ? c.name : hexFile(c.name, c.text);
        EXPECT_EQ(run({path}), 0) << c.name;
        // A file that cannot be opened ends the run before the port is
        // opened; one that is there is read after identification.
        bool unopenable = c.text.empty();
        std::string head =
            unopenable ? "File Name=" + c.shown + " Comm Port=1\n" : loadHead(c.shown);
        EXPECT_EQ(console.text(), head + c.lines + "Error reading " + c.shown + " file\n")
            << c.name;
        EXPECT_EQ(board.bootloader().rowsProgrammed(), 0) << c.name;
        EXPECT_EQ(ports.openAttempts() - attempts, unopenable ? 0 : 1) << c.name;
        std::string reason = c.name == "dir.hex" ? "Is a directory" : "No such file or directory";
        std::string errors = c.name == "garbage.hex"
                                 ? path + " holds binary data, not Intel HEX text\n"
                                 : (unopenable ? "cannot open " + path + ": " + reason + "\n" : "");
        EXPECT_EQ(console.errors(), errors) << c.name;
    }
}

}  // namespace
}  // namespace orvane
