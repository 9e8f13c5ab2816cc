// The browser's decision on a navigation and the transfer's reading of the
// URL it is handed, fed with arbitrary URLs under two sets of endpoints (the
// network's names, and loopback hosts with ports). An event file is only ever
// fetched by the scheme it was classified for, the SEED rewrite changes the
// scheme alone, and a URL the transfer accepts names a file inside the
// download folder.
#include <cstdint>
#include <string>

#include "browser/event_url_rules.h"
#include "platform/ascii_text.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/transfer_fuzz_rig.h"
#include "transfer/net_address.h"

namespace {

using orvane::EventProtocol;
using orvane::fuzz::require;

const orvane::EventUrlRules& Rules(bool loopback) {
    static const orvane::EventUrlRules network{orvane::Endpoints{}};
    static const orvane::EventUrlRules local{orvane::Endpoints{
        "127.0.0.1:8080", "127.0.0.1:2121", "localhost:8080", "localhost:2121", "", ""}};
    return loopback ? local : network;
}

void CheckClassified(const std::string& before, const std::string& after, EventProtocol protocol) {
    bool http = after.compare(0, 7, "http://") == 0 || after.compare(0, 8, "https://") == 0;
    bool ftp = after.compare(0, 6, "ftp://") == 0;
    require(protocol != EventProtocol::Http || (http && after == before),
            "an HTTP event file keeps its URL");
    require(protocol != EventProtocol::Ftp || ftp, "an FTP event file is an ftp:// URL");
    if (after != before)
        require(protocol == EventProtocol::Ftp &&
                    ("http" + after.substr(3) == before || "https" + after.substr(3) == before),
                "only the scheme of a SEED volume is rewritten");
}

void CheckParsed(const orvane::CTransferDlg& dialog, const std::string& folder) {
    const std::string& name = dialog.m_szFileName;
    require(!name.empty() && name.find('/') == std::string::npos, "one file name, no folders");
    require(name != "." && name != "..", "the name is a file, not a folder");
    require(dialog.m_szLocalPath == folder + name, "the file lies in the download folder");
    require(dialog.m_szHost.size() >= 3, "a host of at least three characters");
    require(!dialog.m_szPath.empty() && dialog.m_szPath[0] == '/', "the path is absolute");
    require(dialog.m_szUrl.size() <= orvane::kMaxUrlLength, "the URL fits its field");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orvane::fuzz::TransferRig rig;
    FuzzedDataProvider input(data, size);
    bool loopback = input.ConsumeBool();
    std::string url = orvane::asciiLowered(input.ConsumeRemainingBytesAsString());

    std::string classified = url;
    EventProtocol protocol = Rules(loopback).ClassifyEventUrl(classified);
    CheckClassified(url, classified, protocol);
    require(Rules(loopback).IsEventHttpUrl(url) == (protocol == EventProtocol::Http),
            "the HTTP rule decides first");

    orvane::CTransferDlg& dialog = rig.NewDialog();
    dialog.m_szUrl = classified;
    dialog.m_bHttp = protocol == EventProtocol::Http ? 1 : 0;
    if (dialog.ParseUrl() == 1) {
        CheckParsed(dialog, rig.downloadFolder());
        auto hostPort = orvane::SplitHostPort(dialog.m_szHost, 80);
        require(!hostPort || (hostPort->port > 0 && hostPort->port < 65536), "a port is a port");
    }
    return 0;
}
