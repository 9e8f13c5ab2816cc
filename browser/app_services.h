#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/frame_placement.h"
#include "platform/dde/dde_client.h"

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

// Other programs: their windows, their DDE servers, starting them, and the
// browser's own DDE service.
class OutsideWorld {
  public:
    using DdeHandler = std::function<bool(const std::string& command)>;
    virtual ~OutsideWorld() = default;
    virtual bool AnyWindowTitleContains(std::string_view text) = 0;
    virtual DdeOutcome DdeExecute(std::string_view service, std::string_view topic,
                                  std::string_view command) = 0;
    // The platform's start result: 32 or more means started.
    virtual int StartProgram(const std::string& program,
                             const std::vector<std::string>& arguments) = 0;
    // Serves execute commands for the service and topic until the world ends.
    virtual bool ServeDde(const std::string& service, const std::string& topic,
                          DdeHandler handler) = 0;
};

}  // namespace orvane
