#include "browser/app.h"

#include <filesystem>

#include "browser/command_line.h"
#include "browser/paths.h"
#include "browser/view.h"
#include "browser/viewer_program.h"
#include "platform/console.h"
#include "platform/user_folders.h"
#include "platform/wine_prefix.h"

namespace orvane {

namespace {
constexpr char kBrowserKey[] = "SOFTWARE\\Orvane Network\\OrvaneExplorer";
constexpr char kLocation[] = "Location";
constexpr char kDdeTopic[] = "system";
// A Windows viewer runs under Wine; its DDE server is reached through our
// own Windows DDE client (beside the browser in a build tree, in
// PREFIX/lib/orvane when installed), run under Wine in the viewer's prefix.
constexpr char kWineProgram[] = "wine";
constexpr char kWineDdeClient[] = "orvane-dde.exe";
// The client's own conversation waits at most 2000 ms; the rest is for Wine
// to start it (a prefix whose wineserver is not running yet starts slowly).
constexpr int kWineDdeClientMs = 20000;
// The project's own viewer, installed beside the browser: it shows SEED and
// miniSEED traces where no Tremora is installed.
constexpr char kQuicklookExecutable[] = "orvane-quicklook";

std::string openCommand(const std::string& path) {
    return "[open(\"" + path + "\")]";
}

std::string currentFolder() {
    std::error_code ec;
    auto folder = std::filesystem::current_path(ec);
    return ec ? std::string() : folder.string();
}

std::string runningProgramName() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(kBrowserExecutable) : self.stem().string();
}
}  // namespace

CBrowserApp::CBrowserApp(AppDesktop& desktop, OutsideWorld& world, ProfileFile settings,
                         RegistryStore registry)
    : programDirectorySource(GetProgramDirectory),
      winePrefixSource(defaultWinePrefix),
      downloadFolderSource(userDownloadFolder),
      currentFolderSource(currentFolder),
      homeFolderSource(userHomeFolder),
      desktop_(desktop),
      world_(world),
      settings_(std::move(settings)),
      registry_(std::move(registry)) {}

bool CBrowserApp::InitInstance(const std::vector<std::string>& arguments) {
    m_szProgramDir = programDirectorySource();
    endpoints_ = Endpoints::FromSettings(settings_);
    m_pActiveTransfer = nullptr;
    m_pBrowserView = nullptr;
    world_.ServeDde(runningProgramName(), kDdeTopic,
                    [this](const std::string& command) { return HandleDdeCommand(command); });
    SettleDownloadDirectory();
    StartUrls urls = SplitCommandLine(JoinArguments(arguments));
    // What the address box would make of each, local files included.
    std::string here = currentFolderSource(), home = homeFolderSource();
    m_strInitialUrl = CommandLineAddress(urls.initialUrl, here, home);
    m_strStartPage = CommandLineAddress(urls.startPage, here, home);
    std::string framePos = settings_.readString(kSettingsSection, "FramePos");
    StartAtWaitingUrl();
    if (!desktop_.OpenDocument(*this)) {
        SettleRegistryAndViewer();
        return false;
    }
    if (auto placement = FramePlacement::Parse(framePos))
        desktop_.ApplyPlacement(*placement);
    desktop_.ShowFrame();
    frameShown_ = true;
    SettleRegistryAndViewer();
    RunWaitingDdeCommands();
    return true;
}

// What no page needs comes once the first one has been asked for, while
// WebKit starts its processes: the registration that other programs read
// (a write to the machine-wide store) and where the viewer is (perhaps a
// Wine prefix's registry to read), in their order.
void CBrowserApp::SettleRegistryAndViewer() {
    if (!IsBrowserRegistered())
        RegisterBrowserLocation();
    ReadViewerLocation();
    SettleViewerPath();
}

void CBrowserApp::SettleDownloadDirectory() {
    m_szDownloadDir = settings_.readString(kSettingsSection, "DownloadDir");
    if (!m_szDownloadDir.empty() && !DirectoryExists(m_szDownloadDir)) {
        desktop_.MessageBox(formatText(
            "Download directory %s can not be found. Please select a new directory\nusing the "
            "File / Download Directory menu items.",
            m_szDownloadDir.c_str()));
        m_szDownloadDir.clear();
        WriteSetting("DownloadDir", "");
    }
    m_szDownloadDir = AppendSeparator(m_szDownloadDir);
}

void CBrowserApp::SettleViewerPath() {
    if (!m_szViewerPath.empty())
        return;
    m_szViewerPath = settings_.readString(kSettingsSection, "TremoraPath");
    if (!m_szViewerPath.empty())
        return;
    std::string dir = settings_.readString(kSettingsSection, "TremoraDir");
    if (!dir.empty())
        m_szViewerPath = AppendSeparator(dir) + tremora::kExecutableName;
}

bool CBrowserApp::HandleDdeCommand(const std::string& command) {
    std::optional<std::string> url;
    if (!command.empty()) {
        url = ParseOpenCommand(command);
        if (!url)
            return false;
    }
    if (frameShown_)
        CarryOutDdeCommand(url);
    else
        waitingDdeCommands_.push_back(url);
    return true;
}

void CBrowserApp::CarryOutDdeCommand(const std::optional<std::string>& url) {
    if (url && m_pBrowserView)
        m_pBrowserView->NavigateTo(*url);
    desktop_.BringToFront();
}

void CBrowserApp::StartAtWaitingUrl() {
    // A page asked for while a start-up message was open came after the
    // command line's: the view starts there, instead of loading the command
    // line's page and leaving it at once (two loads racing for the view).
    // The commands still bring the window forward once it is shown.
    for (auto& url : waitingDdeCommands_) {
        if (url)
            m_strInitialUrl = *url;
        url.reset();
    }
}

void CBrowserApp::RunWaitingDdeCommands() {
    // Commands that came while a start-up message was open, in their order.
    auto waiting = std::move(waitingDdeCommands_);
    waitingDdeCommands_.clear();
    for (const auto& url : waiting)
        CarryOutDdeCommand(url);
}

void CBrowserApp::OnFrameClose() {
    WriteSetting("FramePos", desktop_.CurrentPlacement().Format());
    // A hand-off still waiting for the DDE client ends with the window: the
    // client is ended, and no viewer is started after the window has gone.
    waits_.clear();
}

void CBrowserApp::WriteSetting(const char* key, const std::string& value) {
    settings_.writeString(kSettingsSection, key, value);
}

std::string CBrowserApp::OwnLocation() const {
    return m_szProgramDir + kBrowserExecutable;
}

int CBrowserApp::IsBrowserRegistered() {
    auto key = registry_.openKey(RegistryRoot::LocalMachine, kBrowserKey);
    if (!key)
        return 0;
    auto value = key->queryValue(kLocation);
    return value && *value == OwnLocation() ? 1 : 0;
}

void CBrowserApp::RegisterBrowserLocation() {
    // Without the right to the machine-wide store this fails quietly and is
    // tried again at the next start.
    if (auto key = registry_.createKey(RegistryRoot::LocalMachine, kBrowserKey))
        key->setValue(kLocation, OwnLocation());
}

int CBrowserApp::ReadViewerLocation() {
    m_szViewerPath.clear();
    auto key = registry_.openKey(RegistryRoot::LocalMachine, tremora::kRegistryKey);
    auto value = key ? key->queryValue(tremora::kLocationValue) : std::nullopt;
    if (!value)
        return ReadWineViewerLocation();
    m_szViewerPath = *value;
    return 1;
}

// Tremora installed under Wine: its key in the prefix's own registry, a
// Windows path that the prefix's drive letters turn into a Linux one.
int CBrowserApp::ReadWineViewerLocation() {
    std::string prefix = winePrefixSource();
    auto location = readWineMachineString(prefix, tremora::kRegistryKey, tremora::kLocationValue);
    auto path = location ? WineDrives(prefix).linuxPath(*location) : std::nullopt;
    if (!path)
        return 0;
    m_szViewerPath = *path;
    return 1;
}

std::string CBrowserApp::ViewerExecutable() const {
    return m_szViewerPath.empty() ? m_szProgramDir + tremora::kExecutableName : m_szViewerPath;
}

void CBrowserApp::HandOffToViewer(const std::string& localPath, std::function<void(bool)> taken) {
    OpenInViewer(localPath, kViewerService, [this, localPath, taken](int delivered) {
        bool started = delivered != 0 || StartViewer(localPath);
        if (taken)
            taken(started);
    });
}

void CBrowserApp::OpenInViewer(const std::string& localPath, const std::string& service,
                               ViewerResult result) {
    if (!world_.AnyWindowTitleContains(tremora::kWindowTitleMark))
        return result(0);
    std::string name = service.substr(0, service.find('.'));
    if (world_.DdeExecute(name, tremora::kDdeTopic, openCommand(localPath)).conversationMade)
        return result(1);
    OpenInWineViewer(localPath, name, std::move(result));
}

// The same command over Wine's DDE, with the file's Windows path, when the
// viewer is a Windows program. The client's exit status 0 says that the
// conversation was made. Wine may take seconds to start it: the main loop
// waits, not this thread.
void CBrowserApp::OpenInWineViewer(const std::string& localPath, const std::string& service,
                                   ViewerResult result) {
    std::string viewer = ViewerExecutable();
    std::string client = HelperDirectoryOf(m_szProgramDir) + kWineDdeClient;
    if (!isWindowsExecutable(viewer) || !isWindowsExecutable(client))
        return result(0);
    std::string prefix = winePrefixOf(viewer, winePrefixSource());
    std::string command = openCommand(WineDrives(prefix).windowsPath(localPath));
    unsigned number = nextWait_++;
    auto ended = [this, number, result](std::optional<int> status) {
        // The run is over; its record goes before the result may start more.
        auto finished = std::move(waits_[number]);
        waits_.erase(number);
        result(status == 0 ? 1 : 0);
    };
    auto run = world_.RunProgram(kWineProgram, {client, service, tremora::kDdeTopic, command},
                                 {{"WINEPREFIX", prefix}}, kWineDdeClientMs, std::move(ended));
    if (!run)
        return result(0);
    waits_[number] = std::move(run);
}

// Tremora is started wherever it is found or chosen, also when a location
// it was given names no file (the message that it could not start says so
// then). Only where nothing names it at all (no viewer location, no
// TremoraPath or TremoraDir) and no trmvw32.exe is beside the browser (most
// Linux desktops), the quick-look beside the browser gets the file instead
// of the message that nothing could start.
bool CBrowserApp::StartQuicklookForMissingViewer(const std::string& localPath) {
    std::error_code ec;
    if (!m_szViewerPath.empty() || std::filesystem::exists(ViewerExecutable(), ec))
        return false;
    std::string quicklook = m_szProgramDir + kQuicklookExecutable;
    if (!std::filesystem::exists(quicklook, ec))
        return false;
    return world_.StartProgram(quicklook, {localPath}, {}) >= 32;
}

bool CBrowserApp::StartViewer(const std::string& localPath) {
    if (StartQuicklookForMissingViewer(localPath))
        return true;
    std::string program = ViewerExecutable();
    // The path is one argument whatever it holds; nothing goes through a shell.
    int result = 0;
    if (isWindowsExecutable(program)) {
        std::string prefix = winePrefixOf(program, winePrefixSource());
        result =
            world_.StartProgram(kWineProgram, {program, WineDrives(prefix).windowsPath(localPath)},
                                {{"WINEPREFIX", prefix}});
    } else {
        result = world_.StartProgram(program, {localPath}, {});
    }
    if (result >= 32)
        return true;
    desktop_.MessageBox(
        "Unable to start Tremora. Please make sure that this program (OrvaneExplorer.exe)"
        "\nand trmvw32.exe are located in the same directory."
        "You can also locate Tremora\nusing the File / Locate Tremora menu items.");
    return false;
}

std::string CBrowserApp::HelpUrl() const {
    return "file://" + DataDirectoryOf(m_szProgramDir) + "help/OrvaneExplorer.html";
}

}  // namespace orvane
