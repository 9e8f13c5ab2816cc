#pragma once

#include <string>
#include <vector>

#include "resources/browser_resources.h"

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
    std::string usgsHomePage = "http://www.usgs.gov/";

    // The target of GoHome.
    std::string HomePageUrl() const;
    // The pages of the Go menu.
    std::string NewEventsUrl() const { return "http://" + mainWebHost + "/cgi-dos/event.exe"; }
    std::string EventArchiveUrl() const { return "http://" + mainWebHost + "/quakes/"; }
    std::string SeedArchiveUrl() const { return "http://" + irisHost + "/pub/farm/"; }
    // The first six entries of the address box, in order.
    std::vector<std::string> AddressListEntries() const;
    // The places the status-bar prompts name.
    resources::PromptPlaces ForPrompts() const { return {mainWebHost, SeedArchiveUrl()}; }

    static Endpoints FromSettings(const ProfileFile& settings);
};

}  // namespace orvane
