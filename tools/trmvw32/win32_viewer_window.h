#pragma once

#include <windows.h>

#include <string>

namespace orvane {

// The Windows stand-in viewer's window. Its title marks it as a running
// viewer, "Tremora - " and the name of the file shown (just "Tremora - "
// before any file), and every file it is given is appended as one UTF-8
// line to the log. Closing it ends the program's message loop.
class Win32ViewerWindow {
  public:
    // logPath: the log file, or empty for none.
    Win32ViewerWindow(HINSTANCE instance, std::wstring logPath);
    ~Win32ViewerWindow();
    Win32ViewerWindow(const Win32ViewerWindow&) = delete;
    Win32ViewerWindow& operator=(const Win32ViewerWindow&) = delete;

    bool created() const { return window_ != nullptr; }
    // Shows the window; with a limit, it closes itself after that many seconds.
    void show(int showCommand, int maxSeconds);
    // Shows the file (its name in the title, its path in the window), logs
    // it and brings the window forward.
    void openFile(const std::wstring& path);

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    void appendToLog(const std::wstring& path) const;

    std::wstring logPath_;
    HWND window_ = nullptr;
    HWND label_ = nullptr;
    int filesShown_ = 0;
};

// Text conversions between UTF-16 and a code page (CP_UTF8, CP_ACP).
std::wstring wideFromCodePage(const std::string& text, UINT codePage);
std::string utf8FromWide(const std::wstring& text);

}  // namespace orvane
