#include "browser/ftp_listing_page.h"

#include <algorithm>
#include <cctype>

namespace orvane {

namespace {

std::string Escaped(const std::string& text) {
    std::string html;
    for (char c : text) {
        switch (c) {
            case '&':
                html += "&amp;";
                break;
            case '<':
                html += "&lt;";
                break;
            case '>':
                html += "&gt;";
                break;
            case '"':
                html += "&quot;";
                break;
            case '\'':
                html += "&#39;";
                break;
            default:
                html += c;
        }
    }
    return html;
}

// RFC 3986 unreserved characters stay; every other byte is escaped.
std::string Encoded(const std::string& name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
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
    return "<tr><td><a href=\"" + Escaped(EntryUrl(folderUrl, entry)) + "\">" + Escaped(name) +
           (IsFolder(entry) ? "/" : "") + "</a></td><td align=\"right\">" + size + "</td><td>" +
           Escaped(entry.date) + "</td></tr>\n";
}

std::string Head(const std::string& title) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + Escaped(title) +
           "</title></head><body>\n<h1>" + Escaped(title) + "</h1>\n";
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
    page += "<p><a href=\"" + Escaped(ParentUrl(folder)) + "\">Parent folder</a></p>\n<table>\n";
    page += "<tr><th align=\"left\">Name</th><th>Size</th><th align=\"left\">Date</th></tr>\n";
    for (const FtpListEntry& entry : sorted)
        page += Row(folder, entry);
    return page + "</table>\n</body></html>\n";
}

std::string FtpListingFailurePage(const std::string& url, const std::string& failure) {
    return Head("Index of " + url) + "<p>The folder could not be listed:</p>\n<pre>" +
           Escaped(failure) + "</pre>\n</body></html>\n";
}

}  // namespace orvane
