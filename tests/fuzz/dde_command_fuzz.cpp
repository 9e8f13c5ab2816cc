// The browser's DDE execute commands: any command is either an open
// command whose URL is taken as it stands, or refused; an empty one only
// raises the window.
#include <cstdint>
#include <string>

#include "browser/app.h"
#include "browser/command_line.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using orvane::fuzz::require;

// The desktop and the outside world, counting what the command asked of them.
class CountingDesktop final : public orvane::AppDesktop {
  public:
    void MessageBox(const std::string&) override { ++messages; }
    void ShowAbout() override {}
    bool OpenDocument(orvane::CBrowserApp&) override { return true; }
    void ApplyPlacement(const orvane::FramePlacement&) override {}
    orvane::FramePlacement CurrentPlacement() override { return {}; }
    void ShowFrame() override {}
    void BringToFront() override { ++raised; }
    int messages = 0, raised = 0;
};

class QuietWorld final : public orvane::OutsideWorld {
  public:
    bool AnyWindowTitleContains(std::string_view) override { return false; }
    orvane::DdeOutcome DdeExecute(std::string_view, std::string_view, std::string_view) override {
        ++contacts;
        return {};
    }
    int StartProgram(const std::string&, const std::vector<std::string>&,
                     const orvane::EnvironmentChanges&) override {
        ++contacts;
        return 0;
    }
    std::unique_ptr<orvane::ProgramRun> RunProgram(const std::string&,
                                                   const std::vector<std::string>&,
                                                   const orvane::EnvironmentChanges&, int,
                                                   ProgramEnded) override {
        ++contacts;
        return nullptr;
    }
    bool ServeDde(const std::string&, const std::string&, DdeHandler) override { return true; }
    int contacts = 0;
};

constexpr char kOpenPrefix[] = "[open(\"";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string command(reinterpret_cast<const char*>(data), size);
    const auto url = orvane::ParseOpenCommand(command);
    if (url) {
        require(command.starts_with(kOpenPrefix + *url + "\""), "the URL ends at its quote");
        require(url->find('"') == std::string::npos, "the URL holds no quote");
    }

    static CountingDesktop desktop;
    static QuietWorld world;
    static orvane::CBrowserApp app(desktop, world, orvane::ProfileFile("/nonexistent/orvane.ini"),
                                   orvane::RegistryStore(orvane::RegistryFiles{
                                       "/nonexistent/hklm.ini", "/nonexistent/hkcu.ini"}));
    // Commands are carried out at once only when the frame is up; before,
    // they wait for it.
    static const bool started = app.InitInstance({});
    require(started, "the application starts");
    const int raisedBefore = desktop.raised;
    const int messagesBefore = desktop.messages, contactsBefore = world.contacts;
    const bool handled = app.HandleDdeCommand(command);
    require(handled == (command.empty() || url.has_value()), "open commands alone are handled");
    require(desktop.raised - raisedBefore == (handled ? 1 : 0), "a handled command raises");
    require(desktop.messages == messagesBefore && world.contacts == contactsBefore,
            "a command starts nothing else");
    return 0;
}
