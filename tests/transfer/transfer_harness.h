#pragma once

#include <glib.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/platform/real_server.h"
#include "tools/testkit/temp_folder.h"
#include "transfer/byte_stream.h"
#include "transfer/glib_ui_loop.h"
#include "transfer/transfer_dialog.h"
#include "transfer/transfer_host.h"

namespace orvane::testing {

// Records what the dialog shows, by control id.
class RecordingSurface final : public TransferSurface {
  public:
    void Open() override { ++opened; }
    void SetText(int controlId, const std::string& text) override {
        texts[controlId] = text;
        shown.emplace_back(controlId, text);
    }
    void SetTitle(const std::string& text) override { title = text; }
    void SetProgressRange(int lower, int upper) override { range = {lower, upper}; }
    void SetProgressStep(int value) override { step = value; }
    void SetProgressPos(int value) override { position = value; }
    void EndDialog(int code) override { endCodes.push_back(code); }

    std::string text(int controlId) const {
        auto found = texts.find(controlId);
        return found == texts.end() ? "(never set)" : found->second;
    }
    bool everShowed(int controlId, const std::string& text) const {
        for (const auto& [id, value] : shown)
            if (id == controlId && value == text)
                return true;
        return false;
    }

    int opened = 0;
    std::map<int, std::string> texts;
    std::vector<std::pair<int, std::string>> shown;
    std::string title;
    std::pair<int, int> range{-1, -1};
    int step = -1;
    int position = -1;
    std::vector<int> endCodes;
};

// The program around the engine, with the application object's fields: a
// download folder and the active-transfer slot.
class TestTransferHost final : public TransferHost {
  public:
    const std::string& DownloadDirectory() const override { return m_szDownloadDir; }
    std::atomic<CTransferDlg*>& ActiveTransfer() override { return m_pActiveTransfer; }

    std::string m_szDownloadDir;
    std::atomic<CTransferDlg*> m_pActiveTransfer{nullptr};
};

// A stream that delivers scripted pieces, one per receive (cut to the size
// asked for), then the end, an error, or a wait that only a stop request ends.
class ScriptedStream final : public ByteStream {
  public:
    enum class Ending { Close, Fail, WouldBlock };
    explicit ScriptedStream(std::deque<std::string> pieces, Ending ending = Ending::Close)
        : pieces_(std::move(pieces)), ending_(ending) {}

    int fd() const override { return -1; }
    long ReceiveNow(char* buffer, std::size_t size) override;
    long Receive(char* buffer, std::size_t size) override { return ReceiveNow(buffer, size); }
    long Send(std::string_view bytes) override {
        sent += bytes;
        return static_cast<long>(bytes.size());
    }
    void Close() override { closed = true; }

    std::string sent;
    bool closed = false;
    int receives = 0;

  private:
    std::deque<std::string> pieces_;
    Ending ending_;
};

// The dialog's loop with its timers running faster by a whole factor, the
// rest passed through: the FTP command pacing (a line every second tick)
// then takes milliseconds, so that tests may run a thousand transfers.
class FastTimerLoop final : public UiLoop {
  public:
    FastTimerLoop(UiLoop& inner, unsigned factor) : inner_(inner), factor_(factor) {}
    std::unique_ptr<LoopHandle> StartTimer(unsigned periodMs, std::function<void()> tick) override;
    std::unique_ptr<LoopHandle> WatchSocket(int fd, SocketKind kind,
                                            std::function<void(long event)> deliver) override;
    void RunUntil(const std::function<bool()>& finished) override { inner_.RunUntil(finished); }
    void Post(std::function<void()> call) override { inner_.Post(std::move(call)); }

    // Timers and socket watches the dialog still holds: once it has ended,
    // none may be left to call it.
    int liveHandles() const { return *live_; }

  private:
    std::unique_ptr<LoopHandle> Counted(std::unique_ptr<LoopHandle> handle);

    UiLoop& inner_;
    unsigned factor_;
    std::shared_ptr<std::atomic<int>> live_ = std::make_shared<std::atomic<int>>(0);
};

// One dialog on a private GLib main context, with a download folder of its
// own, the host and a recording surface.
class TransferHarness {
  public:
    // timerFactor > 1 runs the dialog's timer that many times faster.
    explicit TransferHarness(unsigned timerFactor = 1);
    ~TransferHarness();
    // A new dialog and surface in place of the old ones, for the next
    // transfer in the same folder.
    void Renew();

    // Sets the URL and the client, opens the surface and runs OnInitDialog.
    void Start(const std::string& url, bool http);
    // Runs the loop until the test holds, at most timeoutMs; false on time-out.
    bool RunUntil(const std::function<bool()>& test, int timeoutMs);
    // Until the dialog has ended or the transfer is no longer busy.
    bool RunToEnd(int timeoutMs);
    // Calls OnCancel and returns how long it took, in milliseconds.
    double CancelTimed();
    // Runs what is already due on the loop, without waiting for anything.
    void RunPending();

    std::string downloadPath(const std::string& name) const { return folder / name; }
    // Names in the download folder that begin with "." (temporary files).
    std::vector<std::string> hiddenFiles() const;

    void NewDialog();

    testkit::TempFolder folder;
    GMainContext* context;
    GlibUiLoop loop;
    FastTimerLoop dialogLoop;
    TestTransferHost app;
    RecordingSurface surface;
    std::unique_ptr<CTransferDlg> dialog;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Bytes that are not all alike, so that a misplaced piece shows.
std::string PatternBytes(std::size_t size);

}  // namespace orvane::testing
