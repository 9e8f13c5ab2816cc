#pragma once

#include <memory>
#include <vector>

#include "browser/app_services.h"

namespace orvane {

class DdeServer;

// The real outside world: X window titles, DDE over the user's private
// sockets, programs started with an argument vector.
class PlatformWorld final : public OutsideWorld {
  public:
    PlatformWorld();
    ~PlatformWorld() override;
    bool AnyWindowTitleContains(std::string_view text) override;
    DdeOutcome DdeExecute(std::string_view service, std::string_view topic,
                          std::string_view command) override;
    int StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const EnvironmentChanges& changes) override;
    std::unique_ptr<ProgramRun> RunProgram(const std::string& program,
                                           const std::vector<std::string>& arguments,
                                           const EnvironmentChanges& changes, int timeoutMs,
                                           ProgramEnded ended) override;
    bool ServeDde(const std::string& service, const std::string& topic,
                  DdeHandler handler) override;

  private:
    std::vector<std::unique_ptr<DdeServer>> servers_;
};

}  // namespace orvane
