#pragma once

#include <map>
#include <string>

#include "platform/console.h"
#include "transfer/transfer_surface.h"

namespace orvane {

// The transfer dialog on a console: each change of the status and received
// texts is printed as one line on standard error ("Status: ...",
// "Received: ..."), so that standard output carries only the result.
class ConsoleTransferSurface final : public TransferSurface {
  public:
    explicit ConsoleTransferSurface(Console& console) : console_(console) {}

    void Open() override {}
    void SetText(int controlId, const std::string& text) override;
    void SetTitle(const std::string&) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressStep(int) override {}
    void SetProgressPos(int) override {}
    void EndDialog(int code) override { endCode_ = code; }

    // The text a control shows now.
    std::string text(int controlId) const;
    int endCode() const { return endCode_; }

  private:
    Console& console_;
    std::map<int, std::string> texts_;
    int endCode_ = 0;
};

}  // namespace orvane
