#include "browser/ftp_listing_page.h"

#include <algorithm>

#include "browser/html_text.h"
#include "platform/ascii_text.h"
#include "transfer/url_text.h"

namespace orvane {

namespace {

// RFC 3986 unreserved characters stay; every other byte is escaped.
std::string Encoded(const std::string& name) {
    return PercentEncoded(name, [](char c) {
        return isAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
    });
}

// The part of the URL before its path: "ftp://host".
std::size_t PathStart(const std::string& url) {
    auto slash = url.find('/', url.find("://") == std::string::npos ? 0 : url.find("://") + 3);
    return slash == std::string::npos ? url.size() : slash;
}

std::string ParentUrl(const std::string& folderUrl) {
    std::size_t start = PathStart(folderUrl);
    std::string path = folderUrl.substr(start);
    if (path.size() <= 1)
        return folderUrl;
    path.pop_back();
    return folderUrl.substr(0, start) + path.substr(0, path.rfind('/') + 1);
}

bool IsFolder(const FtpListEntry& entry) {
    return entry.kind == FtpListEntry::Kind::Folder;
}

std::string Row(const std::string& folderUrl, const FtpListEntry& entry) {
    std::string name = entry.name.substr(entry.name.rfind('/') + 1);
    if (name.empty())
        name = entry.name;
    std::string size = IsFolder(entry) || entry.size < 0 ? "" : std::to_string(entry.size);
    return "<tr><td><a href=\"" + HtmlEscaped(EntryUrl(folderUrl, entry)) + "\">" +
           HtmlEscaped(name) + (IsFolder(entry) ? "/" : "") + "</a></td><td align=\"right\">" +
           size + "</td><td>" + HtmlEscaped(entry.date) + "</td></tr>\n";
}

std::string Head(const std::string& title) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscaped(title) +
           "</title></head><body>\n<h1>" + HtmlEscaped(title) + "</h1>\n";
}

}  // namespace

std::string FolderUrl(const std::string& url) {
    return !url.empty() && url.back() == '/' ? url : url + "/";
}

std::string EntryUrl(const std::string& folderUrl, const FtpListEntry& entry) {
    std::string name = entry.name.substr(entry.name.rfind('/') + 1);
    if (name.empty())
        name = entry.name;
    return FolderUrl(folderUrl) + Encoded(name) + (IsFolder(entry) ? "/" : "");
}

std::string FtpListingPage(const std::string& url, const std::vector<FtpListEntry>& entries) {
    std::string folder = FolderUrl(url);
    std::vector<FtpListEntry> sorted = entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const FtpListEntry& a, const FtpListEntry& b) {
                         if (IsFolder(a) != IsFolder(b))
                             return IsFolder(a);
                         return a.name < b.name;
                     });
    std::string page = Head("Index of " + folder);
    page +=
        "<p><a href=\"" + HtmlEscaped(ParentUrl(folder)) + "\">Parent folder</a></p>\n<table>\n";
    page += "<tr><th align=\"left\">Name</th><th>Size</th><th align=\"left\">Date</th></tr>\n";
    for (const FtpListEntry& entry : sorted)
        page += Row(folder, entry);
    return page + "</table>\n</body></html>\n";
}

std::string FtpListingFailurePage(const std::string& url, const std::string& failure) {
    return Head("Index of " + url) + "<p>The folder could not be listed:</p>\n<pre>" +
           HtmlEscaped(failure) + "</pre>\n</body></html>\n";
}

}  // namespace orvane
