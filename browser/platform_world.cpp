#include "browser/platform_world.h"

#include <cstdio>

#include "platform/dde/dde_client.h"
#include "platform/dde/dde_server.h"
#include "platform/program_start.h"
#include "platform/program_watch.h"
#include "platform/window_titles.h"

namespace orvane {

PlatformWorld::PlatformWorld() = default;
PlatformWorld::~PlatformWorld() = default;

bool PlatformWorld::AnyWindowTitleContains(std::string_view text) {
    return anyWindowTitleContains(text);
}

DdeOutcome PlatformWorld::DdeExecute(std::string_view service, std::string_view topic,
                                     std::string_view command) {
    return ddeExecute(service, topic, command);
}

int PlatformWorld::StartProgram(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const EnvironmentChanges& changes) {
    return startProgram(program, arguments, changes);
}

namespace {
// The main loop's child watch waits for the program.
class WatchedRun final : public ProgramRun {
  public:
    explicit WatchedRun(std::unique_ptr<WatchedProgram> program) : program_(std::move(program)) {}

  private:
    std::unique_ptr<WatchedProgram> program_;
};
}  // namespace

std::unique_ptr<ProgramRun> PlatformWorld::RunProgram(const std::string& program,
                                                      const std::vector<std::string>& arguments,
                                                      const EnvironmentChanges& changes,
                                                      int timeoutMs, ProgramEnded ended) {
    auto watched = WatchedProgram::start(program, arguments, changes, timeoutMs, std::move(ended));
    if (!watched)
        return nullptr;
    return std::make_unique<WatchedRun>(std::move(watched));
}

bool PlatformWorld::ServeDde(const std::string& service, const std::string& topic,
                             DdeHandler handler) {
    std::string error;
    auto server = DdeServer::start(
        service, topic,
        [handler = std::move(handler)](const std::string&, const std::string& command) {
            return handler(command);
        },
        error);
    if (!server) {
        // Other programs then cannot send us URLs; the browser still works.
        std::fprintf(stderr, "orvaneexplorer: DDE service %s not available: %s\n", service.c_str(),
                     error.c_str());
        return false;
    }
    servers_.push_back(std::move(server));
    return true;
}

}  // namespace orvane
