#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/program_start.h"

namespace orvane {

// A program that runs while the main loop goes on: the loop's child watch
// reports its end, so nothing on the user-interface thread waits for it.
class WatchedProgram {
  public:
    // The exit status; nullopt when a signal ended it or it ran too long.
    using Ended = std::function<void(std::optional<int> exitStatus)>;

    // Starts the program as startChildProgram does. ended runs later, from
    // the default main context, once it has ended by itself or has been
    // killed at the time-out. nullptr (and ended never runs) when it could
    // not be started.
    static std::unique_ptr<WatchedProgram> start(const std::string& program,
                                                 const std::vector<std::string>& arguments,
                                                 const EnvironmentChanges& changes, int timeoutMs,
                                                 Ended ended);
    // Made only by start (the key is private), on a program it started.
    struct StartedKey {
      private:
        friend class WatchedProgram;
        StartedKey() = default;
    };
    WatchedProgram(StartedKey, pid_t pid, int timeoutMs, Ended ended);
    // A program still running is killed, by its process id, and reaped;
    // ended is not run then.
    ~WatchedProgram();
    WatchedProgram(const WatchedProgram&) = delete;
    WatchedProgram& operator=(const WatchedProgram&) = delete;

    pid_t pid() const { return pid_; }
    bool running() const { return watch_ != 0; }

  private:
    static void onEnded(int pid, int status, void* self);
    static int onTimeout(void* self);

    pid_t pid_;
    Ended ended_;
    unsigned watch_ = 0;
    unsigned timeout_ = 0;
};

}  // namespace orvane
