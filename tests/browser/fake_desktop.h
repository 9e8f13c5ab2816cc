#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser/app_services.h"
#include "browser/directory_dialogs.h"
#include "browser/view.h"

namespace orvane::testing {

class FakeDialogs final : public DirectoryDialogs {
  public:
    std::optional<DirectoryChoice> RunDownloadDirectoryDialog(const std::string& start) override {
        startFolders.push_back(start);
        return directoryAnswer;
    }
    std::optional<std::string> RunLocateTremoraDialog(const std::string& current) override {
        locateStarts.push_back(current);
        return locateAnswer;
    }
    std::optional<DirectoryChoice> directoryAnswer;
    std::optional<std::string> locateAnswer;
    std::vector<std::string> startFolders, locateStarts;
};

// Records what the application shows instead of showing it.
class FakeDesktop final : public AppDesktop {
  public:
    void MessageBox(const std::string& text) override {
        messages.push_back(text);
        if (whileMessageShown)
            whileMessageShown();
    }
    void ShowAbout() override { ++abouts; }
    bool OpenDocument(CBrowserApp& app) override;
    void ApplyPlacement(const FramePlacement& placement) override { applied.push_back(placement); }
    FramePlacement CurrentPlacement() override { return current; }
    void ShowFrame() override { ++shown; }
    void BringToFront() override { ++broughtToFront; }

    std::vector<std::string> messages;
    // Runs while a message box is "open", as its own loop would.
    std::function<void()> whileMessageShown;
    std::vector<FramePlacement> applied;
    FramePlacement current;
    int abouts = 0, shown = 0, broughtToFront = 0;
    bool frameOpens = true;
    std::unique_ptr<CBrowserView> view;

    // Everything around the view, recorded.
    struct Control final : WebControl, ViewFrame, ViewMessageQueue, TransferRunner {
        void Navigate2(const std::string& url) override { calls.push_back("navigate " + url); }
        void GoBack() override { calls.push_back("back"); }
        void GoForward() override { calls.push_back("forward"); }
        void GoHome() override { calls.push_back("home"); }
        void Stop() override { calls.push_back("stop"); }
        void Refresh() override { calls.push_back("refresh"); }
        void RefreshBypassingCache() override { calls.push_back("refresh past the cache"); }
        void Print() override { calls.push_back("print"); }
        void HoldNavigation() override { calls.push_back("hold"); }
        void ReleaseNavigation(const std::string& page) override {
            calls.push_back("release");
            pages.push_back(page);
        }
        void DropNavigation() override { calls.push_back("drop"); }
        void SetDocumentTitle(const std::string& title) override {
            calls.push_back("title " + title);
        }
        void ShowAddress(const std::string& url) override { calls.push_back("address " + url); }
        void PostViewMessage(unsigned message) override { posted.push_back(message); }
        TransferOutcome RunModal(const std::string& url, const std::string& fallbackUrl,
                                 bool http) override;
        void CancelRunning() override { calls.push_back("cancel transfer"); }
        void StartListing(const std::string& url,
                          std::function<void(const FolderListing&)> done) override {
            calls.push_back("list " + url);
            listingDone = std::move(done);
        }
        void CancelListing() override {
            calls.push_back("cancel listing");
            listingDone = nullptr;
        }

        std::vector<std::string> calls;
        std::vector<unsigned> posted;
        std::vector<std::string> pages;  // shown in place of held navigations
        std::function<void(const FolderListing&)> listingDone;
        // Each transfer run: "http URL" or "ftp URL"; its outcome comes from
        // outcomes (front first), else a good one saving to savedPath.
        std::vector<std::string> transfers;
        std::vector<TransferOutcome> outcomes;
        std::string savedPath = "/downloads/event.evt";
        // Runs while the dialog is "open", as the dialog's own loop would.
        std::function<void()> duringTransfer;
    } control;
    FakeDialogs dialogs;
};

// Other programs, scripted.
class FakeWorld final : public OutsideWorld {
  public:
    bool AnyWindowTitleContains(std::string_view text) override;
    DdeOutcome DdeExecute(std::string_view service, std::string_view topic,
                          std::string_view command) override;
    int StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const EnvironmentChanges& changes) override;
    std::unique_ptr<ProgramRun> RunProgram(const std::string& program,
                                           const std::vector<std::string>& arguments,
                                           const EnvironmentChanges& changes, int timeoutMs,
                                           ProgramEnded ended) override;
    // Ends the programs still running with runStatus, as the main loop
    // would report them, in the order they were started.
    void finishRuns();
    bool ServeDde(const std::string& service, const std::string& topic,
                  DdeHandler handler) override;

    std::vector<std::string> windowTitles;
    bool viewerAnswers = true;  // a conversation can be made
    bool viewerAcceptsCommand = true;
    int startResult = 42;
    std::vector<std::string> ddeSent;               // "service|topic|command"
    std::vector<std::vector<std::string>> started;  // program, then its arguments
    std::vector<EnvironmentChanges> startedWith;    // each start's environment changes
    std::optional<int> runStatus = 0;               // what each program run ends with
    bool runStarts = true;                          // a program to run can be started
    std::vector<std::vector<std::string>> ran;      // program, arguments, then "NAME=value"
    // The runs not reported yet; a run's flag is cleared when it is dropped.
    struct PendingRun {
        std::shared_ptr<bool> alive;
        ProgramEnded ended;
    };
    std::vector<PendingRun> running;
    int runsEnded = 0;  // dropped while still running
    std::string servedService, servedTopic;
    DdeHandler served;
};

}  // namespace orvane::testing
