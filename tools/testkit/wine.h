#pragma once

#include <string>

namespace orvane::testkit {

// What the Windows build's test run hands the Linux tests that run its .exe
// files under Wine: the wine program, the Wine prefix of that run and the
// folder of the .exe files. A field is empty when its variable is not set.
struct WineSetup {
    std::string wine;    // $ORVANE_WINE
    std::string prefix;  // $WINEPREFIX
    std::string winBin;  // $ORVANE_WIN_BIN

    static WineSetup fromEnvironment();
    bool complete() const { return !wine.empty() && !prefix.empty() && !winBin.empty(); }
};

// Makes COM N of a Wine prefix the given device for the life of the object,
// the way Wine maps COM ports: a link "comN" in the prefix's dosdevices.
class WineComPort {
  public:
    WineComPort(const std::string& prefix, int portNumber, const std::string& device);
    ~WineComPort();
    WineComPort(const WineComPort&) = delete;
    WineComPort& operator=(const WineComPort&) = delete;

  private:
    std::string link_;
};

// The Windows name of a Linux path on Wine's drive Z:, which is the root.
std::string WindowsPath(const std::string& path);

// Text a Windows program wrote with the C runtime's CR LF line ends, with
// LF ends again; a carriage return of the program's own stays.
std::string LinuxLineEnds(const std::string& text);

}  // namespace orvane::testkit
