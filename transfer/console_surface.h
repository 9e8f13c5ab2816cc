#pragma once

#include <map>
#include <string>

#include "platform/console.h"
#include "transfer/transfer_surface.h"

namespace orvane {

// How the console shows a transfer's progress on standard error.
enum class ProgressStyle {
    // A terminal: one "Received: ..." line that rewrites itself.
    Terminal,
    // A file or a pipe: no carriage returns, one line at each tenth of the
    // file besides the status lines.
    Log,
    // Nothing but what the program prints itself.
    Quiet,
};

// The transfer dialog on a console: each change of the status text is one
// line on standard error ("Status: ..."), the received text is shown in the
// style chosen, and standard output carries only the result.
class ConsoleTransferSurface final : public TransferSurface {
  public:
    explicit ConsoleTransferSurface(Console& console, ProgressStyle style = ProgressStyle::Log)
        : console_(console), style_(style) {}

    void Open() override {}
    void SetText(int controlId, const std::string& text) override;
    void SetTitle(const std::string&) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressStep(int) override {}
    void SetProgressPos(int) override {}
    void EndDialog(int code) override { endCode_ = code; }
    // Ends a progress line left open, so that the result starts a line.
    void Finish();

    // The text a control shows now.
    std::string text(int controlId) const;
    int endCode() const { return endCode_; }

  private:
    void ShowStatus(const std::string& text);
    void ShowReceived(const std::string& text);
    void ShowPercent(const std::string& text);

    Console& console_;
    ProgressStyle style_;
    std::map<int, std::string> texts_;
    int endCode_ = 0;
    bool lineOpen_ = false;
    int tenthsShown_ = 0;
};

}  // namespace orvane
