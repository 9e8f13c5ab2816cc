// Stand-in for the Tremora viewer as the Windows program it is: a window
// titled "Tremora - NAME", the DDE service "trmvw32" with topic "System" and
// the command [open("PATH")], and a log of every file it is given
// (%TREMORA_STANDIN_LOG%, UTF-8, one line each; a path beginning with "/" is
// taken as a Linux path on Wine's drive Z:).
//
//   trmvw32.exe [--max-seconds N] [--] [FILE...]
//
// Each FILE is opened as if it had been sent by DDE. The program ends when
// its window is closed, or after N seconds (%TREMORA_STANDIN_MAX_SECONDS%
// when the option is not given).

// windows.h comes first: the other Windows headers build on it.
#include <windows.h>

#include <ddeml.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

#include "tools/trmvw32/open_command.h"
#include "tools/trmvw32/win32_viewer_window.h"

namespace {

constexpr int kExitNormal = 0;
constexpr int kExitNoWindow = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxSecondsLimit = 24 * 3600;

struct Arguments {
    std::vector<std::wstring> files;
    int maxSeconds = 0;  // 0: no limit
};

std::optional<int> parseSeconds(const std::wstring& text) {
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return std::nullopt;
    int seconds = std::stoi(text);
    if (seconds < 1 || seconds > kMaxSecondsLimit)
        return std::nullopt;
    return seconds;
}

std::wstring variable(const wchar_t* name) {
    wchar_t value[32768];
    DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

std::optional<Arguments> parseArguments() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr)
        return std::nullopt;
    std::vector<std::wstring> words(argv + 1, argv + argc);
    LocalFree(argv);
    Arguments arguments;
    std::wstring limit = variable(L"TREMORA_STANDIN_MAX_SECONDS");
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (!optionsEnded && words[i] == L"--") {
            optionsEnded = true;
        } else if (!optionsEnded && words[i] == L"--max-seconds") {
            if (i + 1 == words.size())
                return std::nullopt;
            limit = words[++i];
        } else {
            arguments.files.push_back(words[i]);
        }
    }
    if (!limit.empty()) {
        auto seconds = parseSeconds(limit);
        if (!seconds)
            return std::nullopt;
        arguments.maxSeconds = *seconds;
    }
    return arguments;
}

std::wstring logPathFromEnvironment() {
    std::wstring path = variable(L"TREMORA_STANDIN_LOG");
    if (!path.empty() && path.front() == L'/') {
        for (wchar_t& c : path)
            c = c == L'/' ? L'\\' : c;
        path = L"Z:" + path;
    }
    return path;
}

// The DDE server: a callback without context, so the window it serves is
// kept here.
orvane::Win32ViewerWindow* servedViewer = nullptr;
DWORD ddeInstance = 0;
HSZ systemTopic = nullptr;

HDDEDATA executeCommand(HDDEDATA data) {
    DWORD size = DdeGetData(data, nullptr, 0, 0);
    std::string command(size, '\0');
    DdeGetData(data, reinterpret_cast<LPBYTE>(command.data()), size, 0);
    auto path = orvane::parseViewerOpenCommand(command);
    if (!path)
        return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    servedViewer->openFile(orvane::wideFromCodePage(*path, CP_ACP));
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

HDDEDATA CALLBACK ddeCallback(UINT type, UINT, HCONV, HSZ topic, HSZ, HDDEDATA data, ULONG_PTR,
                              ULONG_PTR) {
    switch (type) {
        case XTYP_CONNECT:
            return reinterpret_cast<HDDEDATA>(
                static_cast<ULONG_PTR>(DdeCmpStringHandles(topic, systemTopic) == 0));
        case XTYP_EXECUTE:
            if (DdeCmpStringHandles(topic, systemTopic) != 0)
                return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
            return executeCommand(data);
        default:
            return nullptr;
    }
}

bool serveDde(orvane::Win32ViewerWindow& viewer, HSZ& service) {
    servedViewer = &viewer;
    DWORD flags = APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS |
                  CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_FAIL_REQUESTS;
    if (DdeInitializeA(&ddeInstance, ddeCallback, flags, 0) != DMLERR_NO_ERROR)
        return false;
    systemTopic = DdeCreateStringHandleA(ddeInstance, "System", CP_WINANSI);
    service = DdeCreateStringHandleA(ddeInstance, "trmvw32", CP_WINANSI);
    return DdeNameService(ddeInstance, service, nullptr, DNS_REGISTER) != nullptr;
}

void stopDde(HSZ service) {
    if (ddeInstance == 0)
        return;
    DdeNameService(ddeInstance, service, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(ddeInstance, service);
    DdeFreeStringHandle(ddeInstance, systemTopic);
    DdeUninitialize(ddeInstance);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    auto arguments = parseArguments();
    if (!arguments)
        return kExitUsage;
    orvane::Win32ViewerWindow viewer(instance, logPathFromEnvironment());
    if (!viewer.created())
        return kExitNoWindow;
    viewer.show(show, arguments->maxSeconds);
    for (const std::wstring& file : arguments->files)
        viewer.openFile(file);
    // Without its DDE service the viewer still shows files given on its
    // command line, as a viewer that offers no conversation would.
    HSZ service = nullptr;
    serveDde(viewer, service);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    stopDde(service);
    return kExitNormal;
}
