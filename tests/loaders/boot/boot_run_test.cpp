// boot's command line and run: arguments, settings line, exit statuses.
#include "loaders/boot/boot_run.h"

#include <gtest/gtest.h>

#include "platform/orvane_version.h"
#include "tests/loaders/boot/boot_test_support.h"

namespace orvane::boottest {
namespace {

using Args = std::vector<const char*>;

struct ParseCase {
    const char* name;
    Args args;  // after the program name
    bool accepted;
    int port;
    int baud;
    const char* file;
};
void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.name;
}

class BootParseArguments : public ::testing::TestWithParam<ParseCase> {};

TEST_P(BootParseArguments, FollowsTheCountingRules) {
    const ParseCase& c = GetParam();
    Args argv{"boot"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    BootSettings settings;
    ASSERT_EQ(parseArguments(static_cast<int>(argv.size()), argv.data(), settings), c.accepted);
    if (!c.accepted)
        return;
    EXPECT_EQ(settings.portNumber, c.port);
    EXPECT_EQ(settings.baudRate, c.baud);
    EXPECT_EQ(settings.hexFileName, c.file);
}

const std::string kLongName = std::string(300, 'x') + ".hex";

INSTANTIATE_TEST_SUITE_P(
    CommandLines, BootParseArguments,
    ::testing::Values(
        ParseCase{"Nothing", {}, false, 0, 0, ""},
        ParseCase{"FileOnly", {"fw.hex"}, true, 1, 38400, "fw.hex"},
        ParseCase{"OptionsThenFile", {"-p", "3", "-b", "9600", "fw.hex"}, true, 3, 9600, "fw.hex"},
        ParseCase{"PortValueLast", {"-p", "3"}, false, 0, 0, ""},
        ParseCase{"BaudValueLast", {"-p", "3", "-b", "9600"}, false, 0, 0, ""},
        ParseCase{"NameWithoutDot", {"fw"}, true, 1, 38400, "fw"},
        ParseCase{"LoneOptionIsAFileName", {"-p"}, true, 1, 38400, "-p"},
        ParseCase{"NoFileName", {"-p", "2", "fw"}, true, 2, 38400, ""},
        ParseCase{"UnknownOptionRefused", {"-P", "2", "fw.hex"}, false, 0, 0, ""},
        ParseCase{"UnknownOptionAfterTheFileRefused", {"fw.hex", "-x"}, false, 0, 0, ""},
        ParseCase{"OptionValueIsNoOption", {"-b", "-9600", "fw.hex"}, true, 1, -9600, "fw.hex"},
        ParseCase{"SecondFileNotReached", {"-p", "2", "a.hex", "b.hex"}, true, 2, 38400, "a.hex"},
        ParseCase{"ValueBringsCountToZero", {"a.hex", "-b", "9600", "x.hex"}, false, 0, 0, ""},
        ParseCase{"OptionsAfterFile", {"fw.hex", "-p", "2", "-b", "9600"}, true, 2, 9600, "fw.hex"},
        ParseCase{"OptionWithoutValue", {"-b", "9600", "-p"}, false, 0, 0, ""},
        // The walk ends after the file name and never reaches the option.
        ParseCase{"BaudLastAfterFile", {"fw.hex", "-b"}, true, 1, 38400, "fw.hex"},
        ParseCase{"PortLastAfterFile", {"fw.hex", "-p"}, true, 1, 38400, "fw.hex"},
        ParseCase{"PortValueLastAfterFile", {"fw.hex", "-p", "4"}, true, 4, 38400, "fw.hex"},
        ParseCase{"Help", {"--help"}, false, 0, 0, ""},
        ParseCase{"ShortHelp", {"-h"}, false, 0, 0, ""},
        ParseCase{"HelpAmongOptions", {"-p", "2", "--help", "fw.hex"}, false, 0, 0, ""},
        ParseCase{"LenientNumbers", {"-p", " +12abc", "-b", "x", "f.h"}, true, 12, 0, "f.h"},
        ParseCase{
            "LongFileName", {"-p", "99", kLongName.c_str()}, true, 99, 38400, kLongName.c_str()}),
    CaseName());

// A "-p" value that begins with "/" names the device itself, as port 0;
// the last "-p" decides.
TEST(BootDevicePath, APathNamesTheDeviceAndALaterNumberReplacesIt) {
    BootSettings settings;
    Args byId{"boot", "-p", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
              "fw.hex"};
    ASSERT_TRUE(parseArguments(static_cast<int>(byId.size()), byId.data(), settings));
    EXPECT_EQ(settings.portNumber, 0);
    EXPECT_EQ(settings.portDevice, byId[2]);
    Args later{"boot", "-p", "/dev/ttyUSB0", "-p", "3", "fw.hex"};
    BootSettings replaced;
    ASSERT_TRUE(parseArguments(static_cast<int>(later.size()), later.data(), replaced));
    EXPECT_EQ(replaced.portNumber, 3);
    EXPECT_EQ(replaced.portDevice, "");
}

class BootRun : public ::testing::Test {
  protected:
    int run(Args args) {
        args.insert(args.begin(), "boot");
        return runBoot(static_cast<int>(args.size()), args.data(), rig.ports, rig.clock,
                       rig.console);
    }
    TempDir dir;
    BoardRig rig;
};

TEST_F(BootRun, WithoutArgumentsPrintsTheUsageAndEndsWith57) {
    EXPECT_EQ(run({}), 57);
    EXPECT_EQ(rig.text(),
              "Usage: boot [ -p Port_Number | -p /dev/DEVICE ] [ -b Baud_Rate ] Hex_File\n"
              "Loads an Intel HEX file into a board through its framed serial bootloader\n"
              "(19200 baud), reads it back and verifies it. Exit status 1: load done.\n"
              "Optional Parameters:\n"
              "    -p Port_Number  any COM number (dosdevices comN, else COM1 = /dev/ttyS0,\n"
              "                    COM33 = /dev/ttyUSB0, COM65 = /dev/ttyACM0) Default=1\n"
              "    -p /dev/DEVICE  the serial device named by its path\n"
              "    -b Baud_Rate    the running application's rate, for the boot command\n"
              "                    only (any rate the adapter accepts) Default=38400\n"
              "    -h, --help      this text; --version prints the version\n");
    EXPECT_EQ(run({"-p", "3"}), 57);
    EXPECT_TRUE(rig.ports.openedNumbers().empty());
}

TEST_F(BootRun, GoodLoadPrintsEveryStepAndEndsWithTheCloseResult) {
    const std::string file = dir.file("fw.hex");
    writeText(file, hexText(0x200, firmwareBytes(16)));
    EXPECT_EQ(run({file.c_str()}), 1);
    const std::string writes =
        "Writing: 0x200\rWriting: 0x240\rWriting: 0x280\rWriting: 0x2c0\rWriting: 0x300\r"
        "Writing: 0x340\rWriting: 0x380\rWriting: 0x3c0\rWriting: 0x400\rWriting: 0x408\r"
        "Writing: 0x410\r\n";
    EXPECT_EQ(rig.text(), "File Name=" + file + " Comm Port=1 Baud=38400\n" + "Downloading file " +
                              file + "...\n" +
                              "Bootloader Found - Reading Hex File...\n"
                              "Start Address: 0x200 End Address: 0x410 Size: 528 Bytes\n"
                              "Erasing Block: 0x200\rErasing Block: 0x340\rErasing Block: 0x480\r\n"
                              "Blocks = 8 Left = 18\n" +
                              writes +
                              "Verifying...\nReading: 0x200\r\n"
                              "Good File Download!!!\nReset Sent\n");
    EXPECT_EQ(rig.line().writes.back().bytes,
              (std::vector<std::uint8_t>{0x0F, 0x0F, 0x08, 0x02, 0xF6, 0x04}));
    EXPECT_EQ(rig.board.stats().resets, 1);
}

TEST_F(BootRun, PortAndRateReachTheLoadAndTheBootloaderStaysAt19200) {
    boardsim::SimBootBoard silent(silentBoard(9600));
    rig.ports.attach(3, silent);
    const std::string file = dir.file("fw.hex");
    writeText(file, hexText(0x300, firmwareBytes(40)));
    EXPECT_EQ(run({"-p", "3", "-b", "9600", file.c_str()}), 1);
    EXPECT_TRUE(rig.text().starts_with("File Name=" + file + " Comm Port=3 Baud=9600\n"));
    EXPECT_EQ(rig.ports.line(3).bauds, (std::vector<int>{19200, 9600, 19200}));
    EXPECT_EQ(silent.stats().bootCommandBauds, (std::vector<int>{9600, 9600}));
}

// The board is never touched for a file that is not there: no reset, no byte.
TEST_F(BootRun, NoFileNameOrAMissingFileEndsWithZeroBeforeThePortIsOpened) {
    rig.ports.attach(2, rig.board);
    const std::string missing = dir.file("missing.hex");
    const std::string folder = dir.file("folder.hex");
    std::filesystem::create_directory(folder);
    for (const Args& args : {Args{"-p", "2", "fw"}, Args{"-p", "2", missing.c_str()},
                             Args{"-p", "2", folder.c_str()}}) {
        rig.console.clear();
        EXPECT_EQ(run(args), 0);
        std::string name = args.size() == 3 && std::string(args[2]) != "fw" ? args[2] : "";
        EXPECT_EQ(rig.text(), "File Name=" + name +
                                  " Comm Port=2 Baud=38400\n"
                                  "Error reading HEX file\n");
        EXPECT_NE(rig.console.errors().find("cannot open "), std::string::npos);
    }
    EXPECT_EQ(rig.ports.openAttempts(), 0);
    EXPECT_EQ(rig.board.stats().resets, 0);
    EXPECT_TRUE(rig.ports.line(2).writes.empty());
}

TEST_F(BootRun, NameWithoutADotIsLoadedAndUnknownOptionsAreRefusedBeforeAnyPort) {
    const std::string file = dir.file("fw");
    writeText(file, hexText(0x200, firmwareBytes(8)));
    EXPECT_EQ(run({file.c_str()}), 1);
    const std::string dotted = dir.file("fw.hex");
    writeText(dotted, hexText(0x200, firmwareBytes(8)));
    for (const Args& args : {Args{"-P", "2", dotted.c_str()}, Args{"-v"}, Args{"--verbose"},
                             Args{dotted.c_str(), "-x"}, Args{"-"}}) {
        rig.console.clear();
        EXPECT_EQ(run(args), 57) << args[0];
        EXPECT_TRUE(rig.text().starts_with("Usage: boot ")) << args[0];
    }
    EXPECT_EQ(rig.ports.openAttempts(), 1);
}

TEST_F(BootRun, VersionPrintsTheVersionAndOpensNothing) {
    for (const Args& args : {Args{"--version"}, Args{"-p", "2", "fw.hex", "--version"}}) {
        rig.console.clear();
        EXPECT_EQ(run(args), 0);
        EXPECT_EQ(rig.text(), std::string("boot ") + kOrvaneVersion + "\n");
    }
    EXPECT_EQ(rig.ports.openAttempts(), 0);
}

TEST_F(BootRun, HelpPrintsTheUsageAndOpensNothing) {
    for (const char* help : {"--help", "-h"}) {
        rig.console.clear();
        EXPECT_EQ(run({help}), 57);
        EXPECT_TRUE(rig.text().starts_with(
            "Usage: boot [ -p Port_Number | -p /dev/DEVICE ] [ -b Baud_Rate ] Hex_File\n"));
        EXPECT_EQ(run({"fw.hex", help}), 57);
    }
    EXPECT_TRUE(rig.ports.openedNumbers().empty());
}

TEST_F(BootRun, ADevicePathIsOpenedAsPortZero) {
    boardsim::SimBootBoard adapter;
    rig.ports.attachDevice("/dev/ttyUSB0", adapter);
    const std::string file = dir.file("fw.hex");
    writeText(file, hexText(0x200, firmwareBytes(32)));
    EXPECT_EQ(run({"-p", "/dev/ttyUSB0", file.c_str()}), 1);
    EXPECT_TRUE(rig.text().starts_with("File Name=" + file + " Comm Port=0 Baud=38400\n"));
    EXPECT_EQ(rig.ports.openedNumbers(), (std::vector<int>{0}));
    EXPECT_EQ(adapter.stats().resets, 1);
}

// A rate the driver will not set is reported, not dropped without a word.
TEST_F(BootRun, ARateTheDriverRefusesIsReportedOnStandardError) {
    boardsim::SimBootBoard silent(silentBoard(38400));
    rig.ports.attach(3, silent);
    const std::string file = dir.file("fw.hex");
    writeText(file, hexText(0x200, firmwareBytes(32)));
    EXPECT_EQ(run({"-p", "3", "-b", "0", file.c_str()}), 0);
    EXPECT_EQ(rig.console.errors(), "COM3 refused the line settings (0 baud, 8N1)\n");
    EXPECT_TRUE(rig.text().ends_with("Board or bootloader not found\n"));
}

TEST_F(BootRun, MissingPortEndsWithZero) {
    const std::string file = dir.file("fw.hex");
    writeText(file, hexText(0x200, firmwareBytes(8)));
    EXPECT_EQ(run({"-p", "7", file.c_str()}), 0);
    EXPECT_TRUE(rig.text().ends_with("Open Comm Port Error\n"));
}

}  // namespace
}  // namespace orvane::boottest
