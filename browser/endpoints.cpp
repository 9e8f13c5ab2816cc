#include "browser/endpoints.h"

#include "platform/profile_file.h"

namespace orvane {

namespace {
constexpr char kSection[] = "Endpoints";

void override(const ProfileFile& settings, const char* key, std::string& value) {
    std::string configured = settings.readString(kSection, key);
    if (!configured.empty())
        value = configured;
}
}  // namespace

std::string Endpoints::HomePageUrl() const {
    return homePage.empty() ? "http://" + mainWebHost + "/" : homePage;
}

std::vector<std::string> Endpoints::AddressListEntries() const {
    return {NewEventsUrl(),
            EventArchiveUrl(),
            SeedArchiveUrl(),
            "http://" + mainWebHost + "/bbrequest.html",
            "http://" + mainWebHost + "/request.html",
            usgsHomePage};
}

Endpoints Endpoints::FromSettings(const ProfileFile& settings) {
    Endpoints endpoints;
    override(settings, "MainWebHost", endpoints.mainWebHost);
    override(settings, "FtpHost", endpoints.ftpHost);
    override(settings, "MirrorHost", endpoints.mirrorHost);
    override(settings, "IrisHost", endpoints.irisHost);
    override(settings, "HomePage", endpoints.homePage);
    override(settings, "UsgsHomePage", endpoints.usgsHomePage);
    return endpoints;
}

}  // namespace orvane
