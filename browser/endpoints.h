#pragma once

#include <string>

namespace orvane {

class ProfileFile;

// The network's servers. Each host may be written "name:port"; the settings
// file may override the defaults in its section "Endpoints".
struct Endpoints {
    std::string mainWebHost = "www.orvane.net";
    std::string ftpHost = "ftp.orvane.net";
    std::string mirrorHost = "mirror.orvane.net";
    std::string irisHost = "www.iris.edu";
    std::string homePage;  // empty: http:// + main web host + "/"

    // The target of GoHome.
    std::string HomePageUrl() const;
    static Endpoints FromSettings(const ProfileFile& settings);
};

}  // namespace orvane
