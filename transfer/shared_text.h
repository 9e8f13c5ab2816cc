#pragma once

#include <mutex>
#include <string>

namespace orvane {

// A text written by one thread and read by another: the worker's status and
// counters texts, read by the dialog's timer. Each access is whole.
class SharedText {
  public:
    void set(std::string text) {
        std::lock_guard guard(lock_);
        text_ = std::move(text);
    }
    std::string get() const {
        std::lock_guard guard(lock_);
        return text_;
    }
    bool empty() const {
        std::lock_guard guard(lock_);
        return text_.empty();
    }

  private:
    mutable std::mutex lock_;
    std::string text_;
};

}  // namespace orvane
