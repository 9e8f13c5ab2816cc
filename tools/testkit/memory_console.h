#pragma once

#include <string>

#include "platform/console.h"

namespace orvane::testkit {

// Collects what a loader prints; keys can be queued to end a phase early.
class MemoryConsole final : public Console {
  public:
    void out(std::string_view text) override { stdout_ += text; }
    void err(std::string_view text) override { stderr_ += text; }
    bool keyWaiting() override {
        if (keyAfterChecks_ > 0 && --keyAfterChecks_ == 0)
            pendingKeys_++;
        return pendingKeys_ > 0;
    }
    void readKey() override {
        if (pendingKeys_ > 0)
            --pendingKeys_;
        keysRead_++;
    }
    // A key becomes waiting on the n-th look at the keyboard.
    void pressKeyOnCheck(int n) { keyAfterChecks_ = n; }

    const std::string& text() const { return stdout_; }
    const std::string& errors() const { return stderr_; }
    int keysRead() const { return keysRead_; }
    void clear() { stdout_.clear(), stderr_.clear(); }

  private:
    std::string stdout_;
    std::string stderr_;
    int pendingKeys_ = 0;
    int keyAfterChecks_ = 0;
    int keysRead_ = 0;
};

}  // namespace orvane::testkit
