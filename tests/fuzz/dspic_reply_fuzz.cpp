// Kestrel's side of the dsPIC bootloader's replies: the probe, the loader
// ID, device-ID and memory reads and the acknowledge of written rows, with
// arbitrary replies that arrive in arbitrary pieces and at arbitrary times.
// Every operation must end within its waits with its own messages, and
// nothing may be stored outside the read-back image.
//
// Input: three bytes that choose the image end and one extra read (its
// word count and address), then the board's replies (see scripted_line.h).
#include <algorithm>
#include <cctype>
#include <cstdint>

#include "loaders/kestrel/dspic_loader.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/scripted_line.h"
#include "tools/testkit/memory_console.h"
#include "tools/testkit/sim_port.h"
#include "tools/testkit/virtual_clock.h"

namespace {

using orvane::DspicLoader;
using orvane::fuzz::require;
namespace testkit = orvane::testkit;

constexpr std::size_t kHeadBytes = 3;
// The slowest reply byte: the script's longest delay plus one whole wait.
constexpr std::int64_t kLongestCommandMs =
    255 * orvane::fuzz::ScriptedAnswers::kDelayStepMs + 4000 + 100;
// A probe attempt: the pause after the reset, the answer's polls, the pause after.
constexpr std::int64_t kProbeAttemptMs = 1000 + 500 + 100;
constexpr std::size_t kWriteHead = 5;  // command, three address bytes, length

// Sees where each of the host's commands ends (the host sends byte by byte)
// and answers it with the next reply of the script.
class ScriptedDspic final : public testkit::SimBoard {
  public:
    explicit ScriptedDspic(orvane::fuzz::ScriptedAnswers& answers) : answers_(answers) {}
    void onBytes(testkit::SimPort& port, const std::vector<std::uint8_t>& bytes) override {
        for (std::uint8_t byte : bytes) {
            command_.push_back(byte);
            if (command_.size() < commandLength())
                continue;
            command_.clear();
            ++commands_;
            answers_.deliverNextAnswer(port);
        }
    }
    long commands() const { return commands_; }

  private:
    std::size_t commandLength() const {
        switch (command_[0]) {
            case DspicLoader::CMD_READ:
                return 5;
            case DspicLoader::CMD_WRITE:
                return command_.size() < kWriteHead ? kWriteHead : kWriteHead + command_[4];
            default:
                return 1;  // the probe, the loader-ID request
        }
    }

    orvane::fuzz::ScriptedAnswers& answers_;
    std::vector<std::uint8_t> command_;
    long commands_ = 0;
};

bool isDifferenceLine(std::string_view line) {
    std::size_t digits = 0;
    while (digits < line.size() && std::isxdigit(static_cast<unsigned char>(line[digits])))
        ++digits;
    return digits >= 4 && line.substr(digits).starts_with(": w:");
}

bool onlyLoaderMessages(const std::string& text) {
    return orvane::fuzz::onlyMessages(
        text,
        {"Got something! ", "timeout", "sts=", "GetLoaderID Bad ACK", "GetLoaderID Bad Ver: ",
         "Read Memory Address: 0x", "Checksum Error=", "Ack Error=", "Unknown Device ID ",
         "Write Block Address: 0x", "Bad Write Acc timeout", "Write Block Error!!!",
         "Read Memory Block Error", "!!!!!!!!!!!!!!!!! Flash Read/Write Error !!!!!!!!!!"},
        isDifferenceLine);
}

using Rig = orvane::fuzz::LoaderRig<ScriptedDspic, DspicLoader>;

// Runs one operation and checks it ended in time for the commands it sent.
template <typename Operation>
void timed(Rig& rig, std::int64_t fixedMs, Operation operation) {
    const std::int64_t started = rig.clock.nowMs();
    const long commands = rig.board.commands();
    operation();
    const std::int64_t sent = rig.board.commands() - commands;
    require(rig.clock.nowMs() - started <= fixedMs + sent * kLongestCommandMs,
            "every reply is given up within its waits");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeadBytes)
        return 0;
    orvane::fuzz::ScriptedAnswers answers(data + kHeadBytes, size - kHeadBytes);
    Rig rig(answers);
    DspicLoader& loader = rig.loader;
    require(loader.OpenPort(1, DspicLoader::kLinkBaud), "the simulated port opens");

    timed(rig, 10 * kProbeAttemptMs, [&] { loader.FindBootloader(false); });
    timed(rig, 0, [&] { loader.GetLoaderID(); });
    timed(rig, 0, [&] {
        if (loader.ReadDeviceID())
            loader.SelectDevice();
    });
    // An image as the HEX reader leaves it, ending where the input says.
    loader.image().endAddress = data[0] * 4;
    timed(rig, 0, [&] { loader.WriteProgram(); });
    timed(rig, 0, [&] {
        if (loader.ReadProgram())
            loader.VerifyProgram();
    });
    timed(rig, 0, [&] { loader.ReadBlock(std::uint32_t{data[2]} << 16, data[1]); });
    require(onlyLoaderMessages(rig.console.text()), "only the loader's own messages");
    return 0;
}
