// Kestrel as a program: COM numbers resolved through $ORVANE_DOSDEVICES,
// the simulated board behind a pseudo-terminal, real time.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/termios_port.h"
#include "tests/loaders/kestrel/hex_text.h"
#include "tools/dspic_sim/sim_process.h"
#include "tools/testkit/pty.h"

namespace orvane {
namespace {

using dspicsim::ProgramResult;
using dspicsim::SimProcess;
using dspicsim::TempFolder;
using kestreltest::Upper;
namespace fs = std::filesystem;

std::string binDir() {
    const char* bin = std::getenv("ORVANE_BIN");
    return bin ? bin : "";
}

ProgramResult kestrel(const std::string& dosdevices, std::vector<std::string> arguments,
                      bool unprivileged = false) {
    return dspicsim::RunProgram({binDir() + "/kestrel",
                                 std::move(arguments),
                                 {{"ORVANE_DOSDEVICES", dosdevices}},
                                 60,
                                 unprivileged});
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class KestrelProcess : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(binDir().empty()) << "ORVANE_BIN is not set"; }
};

TEST_F(KestrelProcess, LoadsTheWholeApplicationAreaThroughThePtyBoard) {
    SimProcess sim(binDir(), {"--row-ms", "0"}, 4);
    kestreltest::Words words;
    for (std::uint32_t pc = 0; pc < 0x80; pc += 2)
        words[pc] = 0x0A0000 | pc;
    for (std::uint32_t pc = 0x4000; pc < 0x4040; pc += 2)
        words[pc] = 0xB00000 | pc;
    words[0x7DFA] = 0x123456;  // the highest word a four-byte record may carry
    kestreltest::WriteText(sim.folder().file("Firmware.HEX"), kestreltest::HexForWords(words));

    // After "-p N" only a name with a full stop is taken as the file name.
    ProgramResult result =
        kestrel(sim.dosdevices(), {"-p", "4", sim.folder().file("firmware.hex")});
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    std::string name = Upper(sim.folder().path()) + "/FIRMWARE.HEX";
    EXPECT_EQ(result.out.rfind("File Name=" + name +
                                   " Comm Port=4\nReset Sent\nGot something! 55\nDevice ID = 320\n"
                                   "End Address: 0x7dfc Size: 32252 Bytes\n",
                               0),
              0u)
        << result.out;
    EXPECT_TRUE(
        endsWith(result.out, "Read Memory Address: 0x7dc0\r\nGood File Download!!!\nReset Sent\n"));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(sim.stop(), 0) << "the board saw protocol faults";
    EXPECT_EQ(sim.stats().rowsProgrammed, 504);
    EXPECT_TRUE(sim.flash() == kestreltest::ExpectedFlash(words, 0x4000, 0x7E));
}

TEST_F(KestrelProcess, IdentifyOnlyEndsWithStatus255) {
    SimProcess sim(binDir(), {"--device-id", "352"}, 2);
    ProgramResult result = kestrel(sim.dosdevices(), {"-p", "2", "-t"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out,
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
    chmod(dos.file("locked").c_str(), getuid() == 0 ? 0600 : 0);
    fs::create_symlink(dos.file("locked"), dos.file("com7"));

    struct Case {
        int port;
        std::string cause;
    };
    for (const auto& c : {Case{5, "No such file or directory"}, Case{6, "COM6 ("},
                          Case{7, "Permission denied; members of group '"}}) {
        std::string port = std::to_string(c.port);
        ProgramResult result = kestrel(dos.path(), {"-p", port, "fw.hex"}, c.port == 7);
        EXPECT_EQ(result.status, 0) << port;
        EXPECT_EQ(result.out, "File Name=FW.HEX Comm Port=" + port + "\nOpen Comm Port Error\n");
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find("COM" + port), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.cause), std::string::npos) << result.err;
    }
}

TEST_F(KestrelProcess, APortThatVanishesMidLoadFailsTheRunWithoutHanging) {
    SimProcess sim(binDir(), {"--vanish-after-rows", "3", "--row-ms", "0"});
    kestreltest::Words words;
    for (std::uint32_t pc = 0; pc < 0x200; pc += 2)
        words[pc] = pc;
    std::string path =
        kestreltest::WriteText(sim.folder().file("fw.hex"), kestreltest::HexForWords(words));

    ProgramResult result = dspicsim::RunProgram(
        {binDir() + "/kestrel", {path}, {{"ORVANE_DOSDEVICES", sim.dosdevices()}}, 30, false});
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(
        endsWith(result.out,
                 "Write Block Address: 0x0080\rBad Write Acc timeout\n\nWrite Block Error!!!\n"
                 "Flash Dump Error\n"))
        << result.out;
    EXPECT_EQ(result.err, "COM1 went away (device disconnected)\n");
    sim.stop();
    EXPECT_EQ(sim.stats().rowsProgrammed, 3);
}

}  // namespace
}  // namespace orvane
