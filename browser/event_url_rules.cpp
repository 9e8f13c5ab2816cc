#include "browser/event_url_rules.h"

#include "platform/ascii_text.h"

namespace orvane {

namespace {
constexpr char kQuakes[] = "/quakes/";
constexpr char kUserData[] = "/userdata/";
constexpr char kSeedFolder[] = "/pub/farm/";
constexpr char kSeedMark[] = ".seed";

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}
}  // namespace

namespace {

// Where the path begins: the first "/" after "scheme://host".
std::size_t PathStart(std::string_view url) {
    std::size_t scheme = url.find("://");
    return scheme == std::string_view::npos ? url.size()
                                            : std::min(url.find('/', scheme + 3), url.size());
}

}  // namespace

std::string WithLinkLetters(std::string_view link, std::string_view decided) {
    std::string result(decided.substr(0, PathStart(decided)));
    std::string_view path = link.substr(PathStart(link));
    if (asciiLowered(path) != decided.substr(result.size()))
        return std::string(decided);  // not the same URL: the decision holds
    return result + std::string(path);
}

EventUrlRules::EventUrlRules(const Endpoints& endpoints) {
    // Hosts are lower-cased so that a host configured with capitals still
    // matches the lower-cased URL.
    std::string main = asciiLowered(endpoints.mainWebHost);
    std::string ftp = asciiLowered(endpoints.ftpHost);
    std::string mirror = asciiLowered(endpoints.mirrorHost);
    std::string iris = asciiLowered(endpoints.irisHost);
    // The tables' order: the first prefix that matches decides. Each event
    // HTTP prefix is taken over TLS as well, with the same host and folder.
    for (const char* scheme : {"http://", "https://"})
        for (const auto& [host, folder] : {std::pair{main, kQuakes},
                                           {ftp, kQuakes},
                                           {mirror, kQuakes},
                                           {ftp, kUserData},
                                           {main, kUserData},
                                           {mirror, kUserData}})
            eventHttp_.push_back(scheme + host + folder);
    for (const auto& [host, folder] : {std::pair{ftp, kQuakes},
                                       {main, kQuakes},
                                       {mirror, kQuakes},
                                       {ftp, kUserData},
                                       {main, kUserData},
                                       {mirror, kUserData}})
        eventFtp_.push_back("ftp://" + host + folder);
    seedOverHttp_ = {"http://" + iris + kSeedFolder, "https://" + iris + kSeedFolder};
    seedOverFtp_ = "ftp://" + iris + kSeedFolder;
}

bool EventUrlRules::IsEventHttpUrl(std::string_view url) const {
    for (const std::string& prefix : eventHttp_)
        if (startsWith(url, prefix))
            return url.find('.', prefix.size()) != std::string_view::npos;
    return false;
}

EventProtocol EventUrlRules::ClassifyEventUrl(std::string& url) const {
    if (IsEventHttpUrl(url))
        return EventProtocol::Http;
    for (const std::string& prefix : eventFtp_)
        if (startsWith(url, prefix))
            return EventProtocol::Ftp;
    bool seed = url.find(kSeedMark) != std::string::npos;
    for (const std::string& prefix : seedOverHttp_)
        if (seed && startsWith(url, prefix)) {
            // The scheme alone becomes ftp; host and path stay.
            url.replace(0, url.find(':'), "ftp");
            return EventProtocol::Ftp;
        }
    if (seed && startsWith(url, seedOverFtp_))
        return EventProtocol::Ftp;
    return EventProtocol::None;
}

}  // namespace orvane
