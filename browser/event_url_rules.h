#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "browser/endpoints.h"

namespace orvane {

// How a diverted event file is fetched.
enum class EventProtocol { None, Http, Ftp };

// URLs are kept in 256-byte fields: a URL longer than this is never
// diverted (the view shows it like any other page).
inline constexpr std::size_t kMaxUrlLength = 255;

// The rules that tell a link to one of the network's event data files from
// a page: prefix tables of scheme, host and folder built from the configured
// endpoints, in lower case, compared exactly against a lower-cased URL.
class EventUrlRules {
  public:
    explicit EventUrlRules(const Endpoints& endpoints);

    // True when the URL starts with one of the event HTTP prefixes (http://
    // or https://) and the rest after that prefix holds a ".": a file, not a
    // folder listing.
    bool IsEventHttpUrl(std::string_view url) const;
    // The protocol to fetch the URL with, or None for a page. A SEED volume
    // asked for over HTTP or HTTPS is rewritten in place to the same ftp://
    // URL.
    EventProtocol ClassifyEventUrl(std::string& url) const;

    const std::vector<std::string>& eventHttpPrefixes() const { return eventHttp_; }
    const std::vector<std::string>& eventFtpPrefixes() const { return eventFtp_; }

  private:
    std::vector<std::string> eventHttp_;
    std::vector<std::string> eventFtp_;
    std::vector<std::string> seedOverHttp_;
    std::string seedOverFtp_;
};

// The URL the rules decided on (lower case, a SEED volume's scheme already
// ftp) with the link's own letters put back into its path and query: case-
// sensitive servers know their files by those.
std::string WithLinkLetters(std::string_view link, std::string_view decided);

}  // namespace orvane
