// boot's frame receiver and the answer tests of every command, fed with
// arbitrary answers that arrive in arbitrary pieces and at arbitrary times.
// Every operation must end within its time-out with one of its own
// messages, and nothing may be stored outside the answer buffer and the
// read-back image.
//
// Input: three bytes that choose the range (its length, where it starts)
// and when a key is pressed, then the board's answers (see scripted_line.h).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "loaders/boot/board_loader.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/scripted_line.h"
#include "tools/testkit/memory_console.h"
#include "tools/testkit/sim_port.h"
#include "tools/testkit/virtual_clock.h"

namespace {

using orvane::BoardLoader;
using orvane::fuzz::require;
namespace testkit = orvane::testkit;

constexpr std::size_t kHeadBytes = 3;
constexpr std::int32_t kStartStep = 0x7E;
// The slowest answer: the script's longest delay plus the receive's own
// time-out and one poll.
constexpr std::int64_t kLongestExchangeMs =
    255 * orvane::fuzz::ScriptedAnswers::kDelayStepMs + 2000 + 1000;
constexpr std::int64_t kResetPulseMs = 1000;

// Answers every frame the host sends with the next answer of the script.
class ScriptedBoard final : public testkit::SimBoard {
  public:
    explicit ScriptedBoard(orvane::fuzz::ScriptedAnswers& answers) : answers_(answers) {}
    void onBytes(testkit::SimPort& port, const std::vector<std::uint8_t>&) override {
        answers_.deliverNextAnswer(port);
    }

  private:
    orvane::fuzz::ScriptedAnswers& answers_;
};

bool onlyLoaderMessages(const std::string& text) {
    return orvane::fuzz::onlyMessages(
        text,
        {"Checksum Error", "Bad Response for Loader", "Buffer Command Recv Error",
         "Buffer Address Error", "Datasize Error", "Error: New hdr found", "Error: Answer too long",
         "Erasing Block: 0x", "Blocks = ", "Writing: 0x", "Reading: 0x", "Reset Sent"});
}

using Rig = orvane::fuzz::LoaderRig<ScriptedBoard, BoardLoader>;

// Runs one operation and checks it ended in time for the frames it sent.
template <typename Operation>
void timed(Rig& rig, Operation operation) {
    const std::int64_t started = rig.clock.nowMs();
    const std::size_t writes = rig.ports.line(1).writes.size();
    operation();
    const auto frames = static_cast<std::int64_t>(rig.ports.line(1).writes.size() - writes);
    require(rig.clock.nowMs() - started <= kResetPulseMs + frames * kLongestExchangeMs,
            "every exchange ends within its time-out");
    require(rig.loader.answer().size() <= BoardLoader::kAnswerSize, "the answer fits its buffer");
}

// Compared as memory, so the check does not cost a traced comparison per byte.
bool allErased(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
    static const std::vector<std::uint8_t> erased(BoardLoader::kImageEnd, 0xFF);
    return to <= from || std::memcmp(bytes.data() + from, erased.data(), to - from) == 0;
}

void checkReadBack(const BoardLoader& loader, std::int32_t start, std::int32_t end) {
    const auto& back = loader.image.readBack;
    const auto last = static_cast<std::size_t>(std::min<std::int32_t>(end + 128, 0x8000));
    require(allErased(back, 0, static_cast<std::size_t>(start)),
            "nothing read back below the range");
    require(allErased(back, last, back.size()), "nothing read back past the last block");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeadBytes)
        return 0;
    const std::int32_t start = BoardLoader::kLowestAddress + data[1] * kStartStep;
    const std::int32_t end = start + data[0];
    orvane::fuzz::ScriptedAnswers answers(data + kHeadBytes, size - kHeadBytes);
    Rig rig(answers);
    if (data[2] != 0)
        rig.console.pressKeyOnCheck(data[2]);
    require(rig.loader.OpenPort(1, BoardLoader::kBootloaderBaud), "the simulated port opens");

    timed(rig, [&] { rig.loader.findLoader(); });
    timed(rig, [&] { rig.loader.eraseRange(start, end); });
    timed(rig, [&] { rig.loader.writeRange(start, end); });
    timed(rig, [&] { rig.loader.readRange(start, end); });
    checkReadBack(rig.loader, start, end);
    timed(rig, [&] { rig.loader.sendFinish(); });
    timed(rig, [&] { rig.loader.sendReset(); });
    require(onlyLoaderMessages(rig.console.text()), "only the loader's own messages");
    return 0;
}
