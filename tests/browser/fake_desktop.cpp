#include "tests/browser/fake_desktop.h"

#include "browser/app.h"

namespace orvane::testing {

bool FakeDesktop::OpenDocument(CBrowserApp& app) {
    if (!frameOpens)
        return false;
    view =
        std::make_unique<CBrowserView>(app, ViewHost{control, control, control, dialogs, control});
    view->OnInitialUpdate();
    return true;
}

TransferOutcome FakeDesktop::Control::RunModal(const std::string& url,
                                               const std::string& fallbackUrl, bool http) {
    transfers.push_back((http ? "http " : "ftp ") + url +
                        (fallbackUrl.empty() ? "" : " then " + fallbackUrl));
    if (duringTransfer)
        duringTransfer();
    if (outcomes.empty())
        return {0, savedPath};
    TransferOutcome outcome = outcomes.front();
    outcomes.erase(outcomes.begin());
    return outcome;
}

bool FakeWorld::AnyWindowTitleContains(std::string_view text) {
    for (const auto& title : windowTitles)
        if (title.find(text) != std::string::npos)
            return true;
    return false;
}

DdeOutcome FakeWorld::DdeExecute(std::string_view service, std::string_view topic,
                                 std::string_view command) {
    DdeOutcome outcome;
    if (!viewerAnswers) {
        outcome.failure = "no server";
        return outcome;
    }
    ddeSent.push_back(std::string(service) + "|" + std::string(topic) + "|" + std::string(command));
    outcome.conversationMade = outcome.commandSent = true;
    outcome.commandHandled = viewerAcceptsCommand;
    return outcome;
}

int FakeWorld::StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                            const EnvironmentChanges& changes) {
    std::vector<std::string> call{program};
    call.insert(call.end(), arguments.begin(), arguments.end());
    started.push_back(call);
    startedWith.push_back(changes);
    return startResult;
}

namespace {
class FakeRun final : public ProgramRun {
  public:
    FakeRun(std::shared_ptr<bool> alive, int& ended) : alive_(std::move(alive)), ended_(ended) {}
    ~FakeRun() override {
        if (*alive_)
            ++ended_;
        *alive_ = false;
    }

  private:
    std::shared_ptr<bool> alive_;
    int& ended_;
};
}  // namespace

std::unique_ptr<ProgramRun> FakeWorld::RunProgram(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  const EnvironmentChanges& changes, int,
                                                  ProgramEnded ended) {
    std::vector<std::string> call{program};
    call.insert(call.end(), arguments.begin(), arguments.end());
    for (const auto& [name, value] : changes)
        call.push_back(name + "=" + value);
    ran.push_back(call);
    if (!runStarts)
        return nullptr;
    auto alive = std::make_shared<bool>(true);
    running.push_back({alive, std::move(ended)});
    return std::make_unique<FakeRun>(alive, runsEnded);
}

void FakeWorld::finishRuns() {
    auto runs = std::move(running);
    running.clear();
    for (auto& run : runs) {
        if (!*run.alive)
            continue;
        *run.alive = false;
        run.ended(runStatus);
    }
}

bool FakeWorld::ServeDde(const std::string& service, const std::string& topic, DdeHandler handler) {
    servedService = service;
    servedTopic = topic;
    served = std::move(handler);
    return true;
}

}  // namespace orvane::testing
