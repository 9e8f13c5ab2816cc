#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/frame_placement.h"
#include "platform/dde/dde_client.h"
#include "platform/program_start.h"

namespace orvane {

class CBrowserApp;

// The desktop the application runs on: its windows and message boxes. The
// GTK build shows real windows; tests record what would be shown.
class AppDesktop {
  public:
    virtual ~AppDesktop() = default;
    // A modal box with only an OK button, captioned "Orvane Explorer".
    virtual void MessageBox(const std::string& text) = 0;
    virtual void ShowAbout() = 0;
    // Creates the main frame and its view; false when the frame cannot open.
    virtual bool OpenDocument(CBrowserApp& app) = 0;
    virtual void ApplyPlacement(const FramePlacement& placement) = 0;
    virtual FramePlacement CurrentPlacement() = 0;
    virtual void ShowFrame() = 0;
    // Raises the main window and restores it when it is minimised.
    virtual void BringToFront() = 0;
};

// A program that the browser waits for; ended when it is dropped.
class ProgramRun {
  public:
    virtual ~ProgramRun() = default;
};

// Other programs: their windows, their DDE servers, starting them, and the
// browser's own DDE service.
class OutsideWorld {
  public:
    using DdeHandler = std::function<bool(const std::string& command)>;
    virtual ~OutsideWorld() = default;
    virtual bool AnyWindowTitleContains(std::string_view text) = 0;
    virtual DdeOutcome DdeExecute(std::string_view service, std::string_view topic,
                                  std::string_view command) = 0;
    // The platform's start result: 32 or more means started. The program's
    // environment is this one's with the changes made.
    virtual int StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                             const EnvironmentChanges& changes) = 0;
    // Runs a program without waiting for it: ended gets its exit status
    // later, from the main loop (nullopt when it did not end by itself
    // within timeoutMs and was killed). nullptr, and ended never runs, when
    // it could not be started. Dropping the run ends a program still
    // running, and ended does not run then.
    using ProgramEnded = std::function<void(std::optional<int> exitStatus)>;
    virtual std::unique_ptr<ProgramRun> RunProgram(const std::string& program,
                                                   const std::vector<std::string>& arguments,
                                                   const EnvironmentChanges& changes, int timeoutMs,
                                                   ProgramEnded ended) = 0;
    // Serves execute commands for the service and topic until the world ends.
    virtual bool ServeDde(const std::string& service, const std::string& topic,
                          DdeHandler handler) = 0;
};

}  // namespace orvane
