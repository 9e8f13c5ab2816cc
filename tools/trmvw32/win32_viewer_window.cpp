#include "tools/trmvw32/win32_viewer_window.h"

#include "tools/trmvw32/open_command.h"

namespace orvane {
namespace {

constexpr wchar_t kClassName[] = L"OrvaneTremoraStandin";
constexpr wchar_t kTitleMark[] = L"Tremora - ";
constexpr UINT_PTR kTimeLimitTimer = 1;

std::wstring fileNameOf(const std::wstring& path) {
    std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

}  // namespace

std::wstring wideFromCodePage(const std::string& text, UINT codePage) {
    int size =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            size);
    return wide;
}

std::string utf8FromWide(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                            size, nullptr, nullptr);
    return utf8;
}

Win32ViewerWindow::Win32ViewerWindow(HINSTANCE instance, std::wstring logPath)
    : logPath_(std::move(logPath)) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, kClassName, kTitleMark, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 480, 160, nullptr, nullptr, instance, nullptr);
    if (window_ == nullptr)
        return;
    label_ =
        CreateWindowExW(0, L"STATIC", L"Stand-in for the Tremora viewer: no file open.",
                        WS_CHILD | WS_VISIBLE, 8, 8, 450, 100, window_, nullptr, instance, nullptr);
}

Win32ViewerWindow::~Win32ViewerWindow() {
    if (window_ != nullptr && IsWindow(window_))
        DestroyWindow(window_);
}

void Win32ViewerWindow::show(int showCommand, int maxSeconds) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    if (maxSeconds > 0)
        SetTimer(window_, kTimeLimitTimer, static_cast<UINT>(maxSeconds) * 1000U, nullptr);
}

void Win32ViewerWindow::openFile(const std::wstring& path) {
    appendToLog(path);
    if (window_ == nullptr || !IsWindow(window_))
        return;
    SetWindowTextW(window_, (kTitleMark + fileNameOf(path)).c_str());
    ++filesShown_;
    SetWindowTextW(label_, (L"File " + std::to_wstring(filesShown_) + L": " + path).c_str());
    SetForegroundWindow(window_);
}

void Win32ViewerWindow::appendToLog(const std::wstring& path) const {
    if (logPath_.empty())
        return;
    HANDLE log = CreateFileW(logPath_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    // One write per line, so lines of several viewers never interleave.
    std::string line = logLineFor(utf8FromWide(path));
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);
}

LRESULT CALLBACK Win32ViewerWindow::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_TIMER:
            if (w == kTimeLimitTimer)
                DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, w, l);
    }
}

}  // namespace orvane
