#include "platform/program_watch.h"

#include <glib.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>

namespace orvane {

std::unique_ptr<WatchedProgram> WatchedProgram::start(const std::string& program,
                                                      const std::vector<std::string>& arguments,
                                                      const EnvironmentChanges& changes,
                                                      int timeoutMs, Ended ended) {
    auto pid = startChildProgram(program, arguments, changes);
    if (!pid)
        return nullptr;
    return std::make_unique<WatchedProgram>(StartedKey(), *pid, timeoutMs, std::move(ended));
}

WatchedProgram::WatchedProgram(StartedKey, pid_t pid, int timeoutMs, Ended ended)
    : pid_(pid), ended_(std::move(ended)) {
    watch_ = g_child_watch_add(pid_, onEnded, this);
    timeout_ = g_timeout_add(static_cast<guint>(timeoutMs > 0 ? timeoutMs : 0), onTimeout, this);
}

WatchedProgram::~WatchedProgram() {
    if (timeout_)
        g_source_remove(timeout_);
    if (!watch_)
        return;
    // The watch would reap the program only while the loop runs: it is
    // taken away, and the program ended and reaped here.
    g_source_remove(watch_);
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// GLib has reaped the program; the watch ends after this call.
void WatchedProgram::onEnded(int, int status, void* self) {
    auto* run = static_cast<WatchedProgram*>(self);
    run->watch_ = 0;
    if (run->timeout_)
        g_source_remove(run->timeout_);
    run->timeout_ = 0;
    // ended may destroy this object: it is taken out first.
    Ended ended = std::move(run->ended_);
    if (ended)
        ended(WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt);
}

int WatchedProgram::onTimeout(void* self) {
    auto* run = static_cast<WatchedProgram*>(self);
    run->timeout_ = 0;
    // The watch then reports the end, without an exit status.
    ::kill(run->pid_, SIGKILL);
    return G_SOURCE_REMOVE;
}

}  // namespace orvane
