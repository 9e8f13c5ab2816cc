#include "browser/event_url_rules.h"

#include <gtest/gtest.h>

#include "platform/ascii_text.h"

namespace orvane {
namespace {

struct Case {
    std::string url;
    EventProtocol protocol;
    std::string fetched;  // the URL after classification
};

class EventUrlRulesTest : public ::testing::Test {
  protected:
    static Endpoints endpoints() {
        Endpoints e;
        e.mainWebHost = "www.orvane.net";
        e.ftpHost = "ftp.orvane.net";
        e.mirrorHost = "mirror.orvane.net:8080";
        e.irisHost = "www.iris.edu";
        return e;
    }
    void expectAll(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            std::string url = c.url;
            EXPECT_EQ(rules.ClassifyEventUrl(url), c.protocol) << c.url;
            EXPECT_EQ(url, c.fetched.empty() ? c.url : c.fetched) << c.url;
        }
    }
    EventUrlRules rules{endpoints()};
};

constexpr auto Http = EventProtocol::Http;
constexpr auto Ftp = EventProtocol::Ftp;
constexpr auto None = EventProtocol::None;

TEST_F(EventUrlRulesTest, EveryEventHttpPrefixTakesAFileAndShowsAFolder) {
    expectAll({
        {"http://www.orvane.net/quakes/2001/0101.evt", Http, {}},
        {"http://ftp.orvane.net/quakes/2001/0101.evt", Http, {}},
        {"http://mirror.orvane.net:8080/quakes/a.evt", Http, {}},
        {"http://ftp.orvane.net/userdata/me/x.dat", Http, {}},
        {"http://www.orvane.net/userdata/x.dat", Http, {}},
        {"http://mirror.orvane.net:8080/userdata/x.dat", Http, {}},
        // Folder listings: no dot after the prefix.
        {"http://www.orvane.net/quakes/2001/", None, {}},
        {"http://ftp.orvane.net/quakes/2001/", None, {}},
        {"http://mirror.orvane.net:8080/userdata/", None, {}},
        {"http://www.orvane.net/userdata/members/list", None, {}},
    });
}

TEST_F(EventUrlRulesTest, EveryEventHttpPrefixMatchesOverTlsToo) {
    expectAll({
        {"https://www.orvane.net/quakes/2001/0101.evt", Http, {}},
        {"https://ftp.orvane.net/quakes/2001/0101.evt", Http, {}},
        {"https://mirror.orvane.net:8080/quakes/a.evt", Http, {}},
        {"https://ftp.orvane.net/userdata/me/x.dat", Http, {}},
        {"https://www.orvane.net/userdata/x.dat", Http, {}},
        {"https://mirror.orvane.net:8080/userdata/x.dat", Http, {}},
        {"https://www.orvane.net/quakes/2001/", None, {}},
        {"https://mirror.orvane.net:8080/userdata/", None, {}},
        {"https://www.iris.edu/pub/farm/", None, {}},
        {"https://www.iris.edu/pub/farm/2001/a.seed", Ftp,
         "ftp://www.iris.edu/pub/farm/2001/a.seed"},
        {"https://www.iris.edu/pub/farm/readme.txt", None, {}},
        // Near misses over TLS as well.
        {"https://www.orvane.net/quakes", None, {}},
        {"https://www.orvane.net:443/quakes/a.evt", None, {}},
        {"https://www.orvane.net.evil/quakes/a.evt", None, {}},
        {"httpss://www.orvane.net/quakes/a.evt", None, {}},
        {"ftps://ftp.orvane.net/quakes/a.evt", None, {}},
    });
}

TEST_F(EventUrlRulesTest, AnyDotAfterTheHttpPrefixCounts) {
    expectAll({
        {"http://ftp.orvane.net/quakes/index.html", Http, {}},
        {"http://www.orvane.net/quakes/v1.2/", Http, {}},
        {"http://www.orvane.net/quakes/list?from=1.5", Http, {}},
        // The dot of the host does not count: it is inside the prefix.
        {"http://www.orvane.net/quakes/", None, {}},
    });
}

TEST_F(EventUrlRulesTest, EveryEventFtpPrefixTakesEverythingBelowItFoldersIncluded) {
    expectAll({
        {"ftp://ftp.orvane.net/quakes/2001/0101.evt", Ftp, {}},
        {"ftp://www.orvane.net/quakes/2001/0101.evt", Ftp, {}},
        {"ftp://mirror.orvane.net:8080/quakes/a", Ftp, {}},
        {"ftp://ftp.orvane.net/userdata/x.dat", Ftp, {}},
        {"ftp://www.orvane.net/userdata/x.dat", Ftp, {}},
        {"ftp://mirror.orvane.net:8080/userdata/", Ftp, {}},
        {"ftp://ftp.orvane.net/quakes/2001/", Ftp, {}},
    });
}

TEST_F(EventUrlRulesTest, SeedVolumesAreFetchedByFtpFromTheSameHostAndPath) {
    expectAll({
        {"http://www.iris.edu/pub/farm/", None, {}},
        {"http://www.iris.edu/pub/farm/2001/a.seed", Ftp,
         "ftp://www.iris.edu/pub/farm/2001/a.seed"},
        {"ftp://www.iris.edu/pub/farm/b.seed", Ftp, {}},
        // ".seed" anywhere in the URL, even before the folder.
        {"http://www.iris.edu/pub/farm/x.seed.gz", Ftp, "ftp://www.iris.edu/pub/farm/x.seed.gz"},
        {"ftp://www.iris.edu/pub/farm/readme.txt", None, {}},
        {"http://www.iris.edu/pub/other/a.seed", None, {}},
        {"http://www.orvane.net/pub/farm/a.seed", None, {}},
    });
}

TEST_F(EventUrlRulesTest, NearMissesAreShownInTheView) {
    expectAll({
        {"http://www.orvane.net/quakes", None, {}},
        {"http://www.orvane.net/quakesx/a.evt", None, {}},
        {"http://www.orvane.net:80/quakes/a.evt", None, {}},
        {"http://mirror.orvane.net/quakes/a.evt", None, {}},
        {"http://www.orvane.net.evil/quakes/a.evt", None, {}},
        {"ftp://www.iris.edu/quakes/a.evt", None, {}},
        {"", None, {}},
    });
}

TEST_F(EventUrlRulesTest, PrefixesAreCaseSensitiveOnTheLowerCasedUrl) {
    std::string upper = "HTTP://WWW.ORVANE.NET/QUAKES/2001/0101.EVT";
    EXPECT_EQ(rules.ClassifyEventUrl(upper), None);
    std::string lowered = asciiLowered(upper);
    EXPECT_EQ(lowered, "http://www.orvane.net/quakes/2001/0101.evt");
    EXPECT_EQ(rules.ClassifyEventUrl(lowered), Http);
}

// The decided URL keeps its lower-case scheme and host (and a SEED
// volume's ftp); path and query get the link's letters back.
TEST_F(EventUrlRulesTest, TheLinksOwnLettersComeBackIntoPathAndQuery) {
    std::string seed = asciiLowered("HTTPS://WWW.Iris.EDU/pub/farm/Tohoku_2011.SEED?Part=A");
    ASSERT_EQ(rules.ClassifyEventUrl(seed), Ftp);
    EXPECT_EQ(WithLinkLetters("HTTPS://WWW.Iris.EDU/pub/farm/Tohoku_2011.SEED?Part=A", seed),
              "ftp://www.iris.edu/pub/farm/Tohoku_2011.SEED?Part=A");
    EXPECT_EQ(WithLinkLetters("http://WWW.orvane.net:8080/Quakes/Ev01.EVT",
                              "http://www.orvane.net:8080/quakes/ev01.evt"),
              "http://www.orvane.net:8080/Quakes/Ev01.EVT");
    // Not the same URL in other letters: the decision stands.
    EXPECT_EQ(WithLinkLetters("http://h.net/other.evt", "http://h.net/quakes/a.evt"),
              "http://h.net/quakes/a.evt");
    EXPECT_EQ(WithLinkLetters("http://h.net", "http://h.net"), "http://h.net");
}

TEST_F(EventUrlRulesTest, HostsConfiguredWithCapitalsAndPortsStillMatch) {
    Endpoints e = endpoints();
    e.mainWebHost = "LocalHost:18080";
    e.irisHost = "127.0.0.1:2121";
    EventUrlRules configured(e);
    EXPECT_EQ(configured.eventHttpPrefixes().front(), "http://localhost:18080/quakes/");
    EXPECT_EQ(configured.eventHttpPrefixes().at(6), "https://localhost:18080/quakes/");
    EXPECT_EQ(configured.eventFtpPrefixes().size(), 6u);
    EXPECT_TRUE(configured.IsEventHttpUrl("http://localhost:18080/userdata/a.b"));
    EXPECT_FALSE(configured.IsEventHttpUrl("http://localhost:18081/userdata/a.b"));
    std::string seed = "http://127.0.0.1:2121/pub/farm/v.seed";
    EXPECT_EQ(configured.ClassifyEventUrl(seed), Ftp);
    EXPECT_EQ(seed, "ftp://127.0.0.1:2121/pub/farm/v.seed");
}

}  // namespace
}  // namespace orvane
