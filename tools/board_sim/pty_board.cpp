#include "tools/board_sim/pty_board.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/line_speed.h"
#include "tools/testkit/pty.h"

namespace orvane::boardsim {

namespace {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;
using Nanos = std::chrono::nanoseconds;

constexpr auto kStreamStep = std::chrono::milliseconds(10);
constexpr auto kStreamLength = std::chrono::seconds(10);
constexpr std::size_t kReadChunk = 4096;

volatile std::sig_atomic_t gStopRequested = 0;

void requestStop(int) {
    gStopRequested = 1;
}

// The time count bytes take on a line at baud, 10 bits each.
Nanos wireTime(std::size_t count, int baud) {
    if (baud <= 0)
        return Nanos{0};
    return Nanos{static_cast<long long>(count) * 10'000'000'000LL / baud};
}

// The signals that end the board are held back except while it waits, so
// a stop can only be noticed between exchanges.
class StopSignals {
  public:
    StopSignals() {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGTERM);
        sigaddset(&stops, SIGINT);
        sigprocmask(SIG_BLOCK, &stops, &waitMask_);
        struct sigaction action {};
        action.sa_handler = requestStop;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }
    const sigset_t* waitMask() const { return &waitMask_; }

  private:
    sigset_t waitMask_{};
};

class PtyBoard {
  public:
    explicit PtyBoard(const PtyBoardOptions& options) : options_(options), core_(options.board) {}
    int run();

  private:
    struct Pending {
        TimePoint due;
        std::vector<std::uint8_t> bytes;
    };
    struct Stream {
        bool active = false;
        std::vector<std::uint8_t> pattern;
        TimePoint next;
        TimePoint until;
    };

    bool publish();
    void unpublish();
    int hostBaud();
    void takeHostBytes();
    void schedule(const Reply& reply, TimePoint frameEnd, int baud);
    void sendDue(TimePoint now);
    void sendStream(TimePoint now);
    bool sendBytes(const std::vector<std::uint8_t>& bytes, std::size_t& sent);
    long long waitNanos(TimePoint now, TimePoint deadline) const;
    bool finished() const;
    void writeResults() const;

    const PtyBoardOptions& options_;
    BoardCore core_;
    testkit::PseudoTerminal pty_;
    std::string linkPath_;
    std::deque<Pending> pending_;
    Stream stream_;
    TimePoint rxFree_{};
    TimePoint txFree_{};
    long bytesFromHost_ = 0;
    long bytesToHost_ = 0;
    bool vanished_ = false;
};

bool PtyBoard::publish() {
    std::error_code ec;
    linkPath_ = options_.dosdevices + "/com" + std::to_string(options_.port);
    std::filesystem::create_directories(options_.dosdevices, ec);
    std::filesystem::remove(linkPath_, ec);
    std::filesystem::create_symlink(pty_.slavePath(), linkPath_, ec);
    if (ec) {
        std::fprintf(stderr, "board-sim: cannot make %s: %s\n", linkPath_.c_str(),
                     ec.message().c_str());
        return false;
    }
    fcntl(pty_.master(), F_SETFL, fcntl(pty_.master(), F_GETFL) | O_NONBLOCK);
    std::printf("board-sim: COM%d -> %s\n", options_.port, pty_.slavePath().c_str());
    std::fflush(stdout);
    return true;
}

void PtyBoard::unpublish() {
    std::error_code ec;
    if (std::filesystem::read_symlink(linkPath_, ec) == pty_.slavePath())
        std::filesystem::remove(linkPath_, ec);
}

// The master side of a pseudo-terminal reports the termios of the slave,
// so the board sees the speed the host configured, whatever the rate.
int PtyBoard::hostBaud() {
    return lineSpeed(pty_.master());
}

void PtyBoard::takeHostBytes() {
    std::vector<std::uint8_t> chunk(kReadChunk);
    ssize_t got = ::read(pty_.master(), chunk.data(), chunk.size());
    if (got <= 0)
        return;
    chunk.resize(static_cast<std::size_t>(got));
    const TimePoint now = SteadyClock::now();
    const int baud = hostBaud();
    bytesFromHost_ += got;
    stream_.active = false;  // the host has moved on
    const TimePoint lineStart = options_.wire ? std::max(now, rxFree_) : now;
    for (const Reply& reply : core_.receive(chunk, baud)) {
        const Nanos arrived = options_.wire ? wireTime(reply.afterByte + 1, baud) : Nanos{0};
        schedule(reply, lineStart + arrived, baud);
    }
    if (options_.wire)
        rxFree_ = lineStart + wireTime(chunk.size(), baud);
}

void PtyBoard::schedule(const Reply& reply, TimePoint frameEnd, int baud) {
    if (reply.vanish) {
        pty_.closeMaster();
        vanished_ = true;
        return;
    }
    TimePoint due = frameEnd;
    if (options_.wire) {
        const TimePoint start =
            std::max(frameEnd + std::chrono::milliseconds(reply.busyMs), txFree_);
        due = start + wireTime(reply.bytes.size(), baud);
        txFree_ = due;
    }
    if (!reply.bytes.empty())
        pending_.push_back({due, reply.bytes});
    if (reply.endlessPattern.empty())
        return;
    stream_ = {true, reply.endlessPattern, due, due + kStreamLength};
}

bool PtyBoard::sendBytes(const std::vector<std::uint8_t>& bytes, std::size_t& sent) {
    while (sent < bytes.size()) {
        ssize_t n = ::write(pty_.master(), bytes.data() + sent, bytes.size() - sent);
        if (n <= 0)
            return false;  // the host is not reading: try again later
        sent += static_cast<std::size_t>(n);
        bytesToHost_ += n;
    }
    return true;
}

void PtyBoard::sendDue(TimePoint now) {
    while (!pending_.empty() && pending_.front().due <= now) {
        std::size_t sent = 0;
        Pending& front = pending_.front();
        bool whole = sendBytes(front.bytes, sent);
        front.bytes.erase(front.bytes.begin(), front.bytes.begin() + static_cast<long>(sent));
        if (!whole)
            return;
        pending_.pop_front();
    }
}

void PtyBoard::sendStream(TimePoint now) {
    if (!stream_.active || !pending_.empty() || now < stream_.next)
        return;
    if (now >= stream_.until) {
        stream_.active = false;
        return;
    }
    std::size_t sent = 0;
    sendBytes(stream_.pattern, sent);  // a full line just drops the rest
    stream_.next = now + kStreamStep;
}

long long PtyBoard::waitNanos(TimePoint now, TimePoint deadline) const {
    TimePoint wake = deadline;
    if (!pending_.empty())
        wake = std::min(wake, pending_.front().due);
    if (stream_.active)
        wake = std::min(wake, stream_.next);
    return std::max(0LL,
                    static_cast<long long>(std::chrono::duration_cast<Nanos>(wake - now).count()));
}

bool PtyBoard::finished() const {
    if (vanished_ || gStopRequested)
        return true;
    return options_.exitOnReset && core_.stats().resets > 0 && pending_.empty();
}

void PtyBoard::writeResults() const {
    if (!options_.flashOut.empty()) {
        std::ofstream out(options_.flashOut, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(core_.flash().data()),
                  static_cast<std::streamsize>(core_.flash().size()));
    }
    if (options_.statsOut.empty())
        return;
    const BoardStats& stats = core_.stats();
    std::ofstream out(options_.statsOut, std::ios::trunc);
    out << "bytes_from_host " << bytesFromHost_ << "\nbytes_to_host " << bytesToHost_ << "\nframes "
        << stats.framesReceived << "\nbusy_ms " << stats.busyMs << "\nframe_errors "
        << stats.frameErrors.size() << "\nresets " << stats.resets << "\nboot_commands "
        << stats.bootCommandBauds.size() << "\nout_of_flash " << stats.outOfFlash
        << "\nunerased_bits " << stats.unerasedBits << "\n";
    for (const std::string& error : stats.frameErrors)
        out << "frame_error " << error << "\n";
}

int PtyBoard::run() {
    StopSignals signals;
    if (!publish())
        return 2;
    const TimePoint deadline = SteadyClock::now() + std::chrono::seconds(options_.timeLimitSeconds);
    while (!finished()) {
        TimePoint now = SteadyClock::now();
        if (now >= deadline)
            break;
        const long long waitNs = waitNanos(now, deadline);
        timespec timeout{static_cast<time_t>(waitNs / 1'000'000'000),
                         static_cast<long>(waitNs % 1'000'000'000)};
        pollfd pfd{pty_.master(), POLLIN, 0};
        if (ppoll(&pfd, 1, &timeout, signals.waitMask()) > 0 && (pfd.revents & POLLIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(options_.readLagMs));
            takeHostBytes();
        }
        if (vanished_)
            break;
        now = SteadyClock::now();
        sendDue(now);
        sendStream(now);
    }
    unpublish();
    writeResults();
    for (const std::string& error : core_.stats().frameErrors)
        std::fprintf(stderr, "board-sim: frame error: %s\n", error.c_str());
    return 0;
}

}  // namespace

int servePtyBoard(const PtyBoardOptions& options) {
    PtyBoard board(options);
    return board.run();
}

}  // namespace orvane::boardsim
