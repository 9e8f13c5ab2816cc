#pragma once

// The board's side of a serial line, read from the fuzz input. The input is
// a series of chunks; each is a head byte (bits 0..6 the chunk's length,
// bit 7 set when the chunk ends one answer), a delay byte (in steps of
// 20 ms, so up to 5.1 s: past both loaders' waits) and the chunk's bytes.
// Each time the host finishes a request, the chunks of the next answer go
// on the line, each after its delay.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/testkit/memory_console.h"
#include "tools/testkit/sim_port.h"
#include "tools/testkit/virtual_clock.h"

namespace orvane::fuzz {

class ScriptedAnswers {
  public:
    static constexpr int kDelayStepMs = 20;
    static constexpr std::uint8_t kEndsAnswer = 0x80;

    ScriptedAnswers(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // Queues the next answer's chunks; nothing once the script is used up,
    // which leaves the host waiting in silence.
    void deliverNextAnswer(testkit::SimPort& port) {
        while (position_ + 2 <= size_) {
            const std::uint8_t head = data_[position_];
            const int delayMs = data_[position_ + 1] * kDelayStepMs;
            const std::size_t length = head & 0x7F;
            const std::size_t first = position_ + 2;
            const std::size_t end = first + length < size_ ? first + length : size_;
            port.deliver(std::vector<std::uint8_t>(data_ + first, data_ + end), delayMs);
            position_ = end;
            if (head & kEndsAnswer)
                return;
        }
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A loader on port 1 of a simulated directory, with the scripted board that
// answers it, a virtual clock and a console that keeps what was printed.
template <typename Board, typename Loader>
struct LoaderRig {
    explicit LoaderRig(ScriptedAnswers& answers) : board(answers) { ports.attach(1, board); }
    testkit::VirtualClock clock;
    testkit::SimPortDirectory ports{clock};
    testkit::MemoryConsole console;
    Board board;
    Loader loader{ports, clock, console};
};

}  // namespace orvane::fuzz
