#include "tests/transfer/transfer_harness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvane::testing {

namespace {

gboolean MarkTimedOut(gpointer flag) {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

gboolean KeepTicking(gpointer) {
    return G_SOURCE_CONTINUE;
}

}  // namespace

long ScriptedStream::ReceiveNow(char* buffer, std::size_t size) {
    ++receives;
    if (pieces_.empty()) {
        if (ending_ == Ending::Fail)
            return kFailed;
        return ending_ == Ending::WouldBlock ? kWouldBlock : 0;
    }
    std::string& piece = pieces_.front();
    std::size_t count = std::min(size, piece.size());
    piece.copy(buffer, count);
    piece.erase(0, count);
    if (piece.empty())
        pieces_.pop_front();
    return static_cast<long>(count);
}

namespace {

// A loop handle that keeps count of the handles alive.
class CountedHandle final : public LoopHandle {
  public:
    CountedHandle(std::unique_ptr<LoopHandle> inner, std::shared_ptr<std::atomic<int>> live)
        : inner_(std::move(inner)), live_(std::move(live)) {
        ++*live_;
    }
    ~CountedHandle() override { --*live_; }

  private:
    std::unique_ptr<LoopHandle> inner_;
    std::shared_ptr<std::atomic<int>> live_;
};

}  // namespace

std::unique_ptr<LoopHandle> FastTimerLoop::Counted(std::unique_ptr<LoopHandle> handle) {
    return std::make_unique<CountedHandle>(std::move(handle), live_);
}

std::unique_ptr<LoopHandle> FastTimerLoop::StartTimer(unsigned periodMs,
                                                      std::function<void()> tick) {
    return Counted(inner_.StartTimer(std::max(1u, periodMs / factor_), std::move(tick)));
}

std::unique_ptr<LoopHandle> FastTimerLoop::WatchSocket(int fd, SocketKind kind,
                                                       std::function<void(long event)> deliver) {
    return Counted(inner_.WatchSocket(fd, kind, std::move(deliver)));
}

TransferHarness::TransferHarness(unsigned timerFactor)
    : context(g_main_context_new()), loop(context), dialogLoop(loop, std::max(1u, timerFactor)) {
    std::filesystem::create_directory(folder / "downloads");
    app.m_szDownloadDir = folder / "downloads/";
    NewDialog();
}

// The waits between tries in milliseconds: a cut that is resumed, or a
// failure after all tries, does not hold a test for seconds.
void TransferHarness::NewDialog() {
    dialog = std::make_unique<CTransferDlg>(app, surface, dialogLoop);
    dialog->retryWaitsMs = {5, 10, 20};
}

TransferHarness::~TransferHarness() {
    dialog.reset();
    // Posted calls still queued refer to nothing once the dialog is gone.
    RunPending();
    g_main_context_unref(context);
}

void TransferHarness::Renew() {
    dialog.reset();
    while (g_main_context_iteration(context, FALSE)) {
    }
    surface = RecordingSurface();
    NewDialog();
}

void TransferHarness::Start(const std::string& url, bool http) {
    dialog->m_szUrl = url;
    dialog->m_bHttp = http ? 1 : 0;
    surface.Open();
    dialog->OnInitDialog();
}

bool TransferHarness::RunUntil(const std::function<bool()>& test, int timeoutMs) {
    bool timedOut = false;
    GSource* timer = g_timeout_source_new(static_cast<guint>(timeoutMs));
    g_source_set_callback(timer, MarkTimedOut, &timedOut, nullptr);
    g_source_attach(timer, context);
    // A short tick makes sure the test is looked at even when nothing happens.
    GSource* tick = g_timeout_source_new(10);
    g_source_set_callback(tick, KeepTicking, nullptr, nullptr);
    g_source_attach(tick, context);
    loop.RunUntil([&] { return timedOut || test(); });
    g_source_destroy(tick);
    g_source_unref(tick);
    g_source_destroy(timer);
    g_source_unref(timer);
    return test();
}

bool TransferHarness::RunToEnd(int timeoutMs) {
    return RunUntil([this] { return dialog->HasEnded() || !dialog->m_bBusy; }, timeoutMs);
}

void TransferHarness::RunPending() {
    // Bounded: a call that posts itself again must not keep the test here.
    for (int i = 0; i < 10000 && g_main_context_iteration(context, FALSE); ++i) {
    }
}

double TransferHarness::CancelTimed() {
    auto start = std::chrono::steady_clock::now();
    dialog->OnCancel();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

std::vector<std::string> TransferHarness::hiddenFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "downloads")) {
        std::string name = entry.path().filename().string();
        if (name[0] == '.')
            names.push_back(name);
    }
    return names;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string PatternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245 + 12345;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

}  // namespace orvane::testing
