// boot as a program, loading board-sim through a pseudo-terminal named in
// the COM device map; and boot.exe under Wine, the same pseudo-terminal
// linked as a COM port of the Wine prefix (run by the Windows build).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "platform/orvane_version.h"
#include "tests/loaders/boot/boot_test_support.h"
#include "tools/testkit/pty.h"
#include "tools/testkit/wait_until.h"
#include "tools/testkit/wine.h"

extern char** environ;

namespace orvane::boottest {
namespace {

using namespace std::chrono_literals;

std::string programPath(const std::string& name) {
    if (const char* bin = std::getenv("ORVANE_BIN"))
        return std::string(bin) + "/" + name;
    // Run by hand: the test binary lives in <build>/tests, the programs in <build>/bin.
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" /
            name)
        .string();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A child program with its output in a file, ended by the test at the latest
// when it goes out of scope.
class Process {
  public:
    Process(std::vector<std::string> args, const std::string& dosdevices, const std::string& out,
            int inputFd = -1) {
        std::vector<std::string> env{"ORVANE_DOSDEVICES=" + dosdevices};
        for (char** e = environ; *e; ++e)
            if (!std::string(*e).starts_with("ORVANE_DOSDEVICES="))
                env.push_back(*e);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, (out + ".err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (inputFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
        else
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        std::vector<char*> argv = pointers(args), envp = pointers(env);
        if (posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_GT(pid_, 0) << "cannot start " << args[0];
    }
    ~Process() {
        if (pid_ <= 0 || status_ || stop())
            return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Ctrl-C, as a terminal sends it.
    void interrupt() {
        if (pid_ > 0 && !status_)
            kill(pid_, SIGINT);
    }

    // Asks the program to end; its exit status once it has.
    std::optional<int> stop() {
        if (pid_ > 0 && !status_)
            kill(pid_, SIGTERM);
        return waitExit(3000);
    }

    // The exit status, or nothing when the program is still running after timeoutMs.
    std::optional<int> waitExit(int timeoutMs) {
        for (int waited = 0; !status_ && pid_ > 0 && waited <= timeoutMs; waited += 10) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else
                std::this_thread::sleep_for(10ms);
        }
        return status_;
    }

  private:
    static std::vector<char*> pointers(std::vector<std::string>& texts) {
        std::vector<char*> result;
        for (std::string& t : texts)
            result.push_back(t.data());
        result.push_back(nullptr);
        return result;
    }
    pid_t pid_ = -1;
    std::optional<int> status_;
};

class BootProcess : public ::testing::Test {
  protected:
    std::string dos() const { return dir.file("dosdevices"); }
    std::unique_ptr<Process> startBoard(std::vector<std::string> extra) {
        std::vector<std::string> args{programPath("board-sim"),
                                      "--dosdevices",
                                      dos(),
                                      "--port",
                                      "5",
                                      "--flash-out",
                                      dir.file("flash.bin"),
                                      "--stats",
                                      dir.file("stats.txt"),
                                      "--time-limit",
                                      "60"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto board = std::make_unique<Process>(args, dos(), dir.file("board.out"));
        const std::string link = dos() + "/com5";
        EXPECT_TRUE(testkit::waitUntil([&] { return std::filesystem::is_symlink(link); }, 5000))
            << "board-sim did not come up";
        return board;
    }
    std::optional<int> runBoot(const std::string& hexFile, int inputFd = -1) {
        return runBootWith({"-p", "5", hexFile}, inputFd);
    }
    std::optional<int> runBootWith(std::vector<std::string> arguments, int inputFd = -1) {
        arguments.insert(arguments.begin(), programPath("boot"));
        Process boot(arguments, dos(), dir.file("boot.out"), inputFd);
        return boot.waitExit(20000);
    }
    std::string bootOutput() const { return readFile(dir.file("boot.out")); }
    std::string bootErrors() const { return readFile(dir.file("boot.out.err")); }
    std::string stats() const { return readFile(dir.file("stats.txt")); }
    std::string hexFile(std::uint32_t start, const std::vector<std::uint8_t>& data) {
        writeText(dir.file("fw.hex"), hexText(start, data));
        return dir.file("fw.hex");
    }

    testkit::TempFolder dir{"boot-test"};
};

// What boot answers without a board: the version, the usage for an
// argument that is no option, and a missing file. None of them opens the
// port: the board sees no byte and no reset, and standard error never names
// the device behind the COM number.
TEST_F(BootProcess, VersionUnknownOptionsAndAMissingFileNeverTouchTheBoard) {
    auto board = startBoard({});
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;  // its start
    };
    const std::string missing = dir.file("missing.hex");
    for (const Case& c : std::vector<Case>{
             {{"--version"}, 0, std::string("boot ") + kOrvaneVersion + "\n"},
             {{"-v"}, 57, "Usage: boot "},
             {{"-p", "5", "--verbose", missing}, 57, "Usage: boot "},
             {{"-p", "5", missing},
              0,
              "File Name=" + missing + " Comm Port=5 Baud=38400\nError reading HEX file\n"}}) {
        EXPECT_EQ(runBootWith(c.arguments), c.status) << c.arguments[0];
        EXPECT_TRUE(bootOutput().starts_with(c.out)) << bootOutput();
        EXPECT_EQ(bootErrors().find("COM5 is"), std::string::npos) << bootErrors();
    }
    EXPECT_EQ(bootErrors(), "cannot open " + missing + ": No such file or directory\n");
    EXPECT_EQ(board->stop(), 0);
    EXPECT_NE(stats().find("bytes_from_host 0\n"), std::string::npos) << stats();
    EXPECT_NE(stats().find("resets 0\n"), std::string::npos) << stats();
}

// A pipe on standard input holding "x\n", which a load must leave unread.
class PipedInput {
  public:
    PipedInput() {
        EXPECT_EQ(pipe(fds_), 0);
        EXPECT_EQ(write(fds_[1], "x\n", 2), 2);
    }
    ~PipedInput() {
        close(fds_[0]);
        if (fds_[1] >= 0)
            close(fds_[1]);
    }
    PipedInput(const PipedInput&) = delete;
    PipedInput& operator=(const PipedInput&) = delete;
    int readEnd() const { return fds_[0]; }
    // What is still in the pipe once the writer has gone.
    long bytesLeft() {
        close(fds_[1]);
        fds_[1] = -1;
        char left[4] = {};
        return read(fds_[0], left, sizeof left);
    }

  private:
    int fds_[2] = {-1, -1};
};

// The file's bytes at 0x200 and erased flash after them.
void ExpectFlashHolds(const std::string& flash, const std::vector<std::uint8_t>& data) {
    ASSERT_EQ(flash.size(), 0x8000u);
    EXPECT_TRUE(
        std::equal(data.begin(), data.end(), flash.begin() + 0x200,
                   [](std::uint8_t d, char f) { return d == static_cast<std::uint8_t>(f); }));
    EXPECT_EQ(flash.substr(0x200 + data.size(), 512), std::string(512, '\xFF'));
}

TEST_F(BootProcess, WholeLoadLeavesTheFlashEqualToTheFile) {
    const auto data = firmwareBytes(0x900, 5);
    auto board = startBoard({});
    PipedInput input;  // never read: standard input is not a terminal
    EXPECT_EQ(runBoot(hexFile(0x200, data), input.readEnd()), 1) << bootOutput();
    const std::string device = std::filesystem::read_symlink(dos() + "/com5").string();
    EXPECT_EQ(board->stop(), 0);  // board-sim writes its flash as it ends
    EXPECT_TRUE(bootOutput().ends_with("Good File Download!!!\nReset Sent\n"));
    ExpectFlashHolds(readFile(dir.file("flash.bin")), data);
    EXPECT_NE(readFile(dir.file("stats.txt")).find("frame_errors 0\n"), std::string::npos);
    EXPECT_EQ(input.bytesLeft(), 2);
    EXPECT_EQ(bootErrors(), "COM5 is " + device + " (through " + dos() + "/com5)\n");
}

// The reset frame goes out last and boot ends at once: a board behind a
// pseudo-terminal (socat, ser2net, a virtual port) that reads a little
// later must still get it.
TEST_F(BootProcess, TheFinalResetReachesABoardThatReadsSlowly) {
    auto board = startBoard({"--read-lag-ms", "60", "--exit-on-reset"});
    EXPECT_EQ(runBoot(hexFile(0x200, firmwareBytes(0x40))), 1) << bootOutput();
    EXPECT_TRUE(bootOutput().ends_with("Good File Download!!!\nReset Sent\n"));
    EXPECT_EQ(board->waitExit(5000), 0) << "the board never saw 0F 0F 08 02 F6 04";
    EXPECT_NE(stats().find("resets 1\n"), std::string::npos) << stats();
}

// 14400 is in no fixed table of rates: the boot command must still go out
// at it, or the application never hears it.
TEST_F(BootProcess, ABoardApplicationAtANonStandardRateIsReached) {
    auto board = startBoard({"--silent", "--app-baud", "14400"});
    EXPECT_EQ(runBootWith({"-p", "5", "-b", "14400", hexFile(0x200, firmwareBytes(0x40))}), 1)
        << bootOutput() << bootErrors();
    EXPECT_EQ(board->stop(), 0);
    EXPECT_NE(stats().find("boot_commands 2\n"), std::string::npos) << stats();
    EXPECT_EQ(bootErrors().find("refused"), std::string::npos) << bootErrors();
}

// "-p /dev/..." names the device directly, also through a by-id link whose
// name holds "USB"; the settings line shows port 0 and standard error the device.
TEST_F(BootProcess, ADevicePathOrAByIdLinkNamesThePort) {
    auto board = startBoard({});
    const std::string device = std::filesystem::read_symlink(dos() + "/com5").string();
    const std::string byId = dir.file("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    std::filesystem::create_symlink(device, byId);
    const std::string file = hexFile(0x200, firmwareBytes(0x40));
    EXPECT_EQ(runBootWith({"-p", device, file}), 1) << bootOutput() << bootErrors();
    EXPECT_TRUE(bootOutput().starts_with("File Name=" + file + " Comm Port=0 Baud=38400\n"));
    EXPECT_EQ(bootErrors(), "COM0 is " + device + "\n");
    EXPECT_EQ(runBootWith({"-p", byId, file}), 1) << bootOutput() << bootErrors();
    EXPECT_EQ(bootErrors(), "COM0 is " + device + " (through " + byId + ")\n");
    EXPECT_EQ(board->stop(), 0);
}

// Ctrl-C during the erase must leave the terminal with its echo and line
// editing, as boot found it.
TEST_F(BootProcess, AnInterruptGivesTheTerminalItsModesBack) {
    testkit::PseudoTerminal terminal;
    termios cooked{};
    ASSERT_EQ(tcgetattr(terminal.master(), &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    ASSERT_EQ(tcsetattr(terminal.master(), TCSANOW, &cooked), 0);
    const int input = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(input, 0);
    auto board = startBoard({"--wire", "--erase-ms", "100"});
    Process boot({programPath("boot"), "-p", "5", hexFile(0x200, firmwareBytes(0x800))}, dos(),
                 dir.file("boot.out"), input);
    auto singleKeyMode = [&] {
        termios now{};
        return tcgetattr(terminal.master(), &now) == 0 && (now.c_lflag & (ICANON | ECHO)) == 0;
    };
    testkit::waitUntil([&] { return singleKeyMode() || boot.waitExit(0); }, 10000);
    ASSERT_TRUE(singleKeyMode()) << "boot never looked for a key: " << bootOutput();
    boot.interrupt();
    EXPECT_EQ(boot.waitExit(3000), 128 + SIGINT);
    ::close(input);
    termios after{};
    ASSERT_EQ(tcgetattr(terminal.master(), &after), 0);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
}

TEST_F(BootProcess, SilentBoardIsReachedThroughTheBootCommand) {
    auto board = startBoard({"--silent"});
    EXPECT_EQ(runBoot(hexFile(0x200, firmwareBytes(0x100))), 1) << bootOutput();
    EXPECT_EQ(board->stop(), 0);
    EXPECT_NE(bootOutput().find("Bootloader not found, sending boot command\n"
                                "Bootloader Found - Reading Hex File...\n"),
              std::string::npos);
    EXPECT_NE(readFile(dir.file("stats.txt")).find("boot_commands 2\n"), std::string::npos);
}

TEST_F(BootProcess, NothingAnsweringIsReportedAsNoBoard) {
    auto board = startBoard({"--fault", "silence"});
    EXPECT_EQ(runBoot(hexFile(0x200, firmwareBytes(0x100))), 0);
    EXPECT_TRUE(bootOutput().ends_with("Board or bootloader not found\n")) << bootOutput();
}

TEST_F(BootProcess, PortVanishingDuringTheWriteFailsWithinSeconds) {
    auto board = startBoard({"--fault", "vanish:2:3"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(runBoot(hexFile(0x200, firmwareBytes(0x800))), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    EXPECT_TRUE(bootOutput().ends_with("Writing: 0x2c0\rFlash Dump Error\n")) << bootOutput();
    EXPECT_NE(readFile(dir.file("boot.out.err")).find("COM5 went away"), std::string::npos);
    EXPECT_EQ(board->waitExit(5000), 0);
}

class BootUnderWine : public BootProcess {
  protected:
    void SetUp() override {
        ASSERT_TRUE(wine.complete()) << "ORVANE_WINE, WINEPREFIX or ORVANE_WIN_BIN is not set";
    }
    // The board's pseudo-terminal as COM N of the Wine prefix.
    std::unique_ptr<testkit::WineComPort> wineCom(int port) {
        return std::make_unique<testkit::WineComPort>(
            wine.prefix, port, std::filesystem::read_symlink(dos() + "/com5"));
    }
    std::optional<int> runBootExe(int port, const std::string& hexFile, int inputFd = -1) {
        Process boot({wine.wine, wine.winBin + "/boot.exe", "-p", std::to_string(port),
                      testkit::WindowsPath(hexFile)},
                     dos(), dir.file("boot.out"), inputFd);
        return boot.waitExit(60000);
    }
    std::string exeOutput() const { return testkit::LinuxLineEnds(bootOutput()); }

    testkit::WineSetup wine = testkit::WineSetup::fromEnvironment();
};

// COM12 is opened by its long name. board-sim ends by itself once the reset
// command has come: the last frame left before the port was closed.
TEST_F(BootUnderWine, WholeLoadLeavesTheFlashEqualToTheFileAndTheResetReachesTheBoard) {
    const auto data = firmwareBytes(0x900, 7);
    auto board = startBoard({"--exit-on-reset"});
    auto com12 = wineCom(12);
    PipedInput input;
    EXPECT_EQ(runBootExe(12, hexFile(0x200, data), input.readEnd()), 1) << exeOutput();
    EXPECT_EQ(board->waitExit(5000), 0);
    EXPECT_TRUE(exeOutput().ends_with("Good File Download!!!\nReset Sent\n")) << exeOutput();
    ExpectFlashHolds(readFile(dir.file("flash.bin")), data);
    EXPECT_NE(readFile(dir.file("stats.txt")).find("frame_errors 0\n"), std::string::npos);
    EXPECT_EQ(input.bytesLeft(), 2);
}

// The boot command goes out at the application's rate, the search again at
// the bootloader's: the port is closed and opened at each speed.
TEST_F(BootUnderWine, SilentBoardIsReachedThroughTheBootCommandOnAShortComName) {
    auto board = startBoard({"--silent"});
    auto com4 = wineCom(4);
    EXPECT_EQ(runBootExe(4, hexFile(0x200, firmwareBytes(0x100))), 1) << exeOutput();
    EXPECT_EQ(board->stop(), 0);
    EXPECT_NE(exeOutput().find("Bootloader not found, sending boot command\n"
                               "Bootloader Found - Reading Hex File...\n"),
              std::string::npos)
        << exeOutput();
    EXPECT_NE(readFile(dir.file("stats.txt")).find("boot_commands 2\n"), std::string::npos);
}

}  // namespace
}  // namespace orvane::boottest
