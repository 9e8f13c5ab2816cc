#include "transfer/ftp_listing.h"

#include <algorithm>
#include <array>

#include "platform/ascii_text.h"

namespace orvane {

namespace {

struct Token {
    std::string_view text;
    std::size_t end;  // where the token ends in the line
};

std::vector<Token> Tokens(std::string_view line, std::size_t most) {
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (tokens.size() < most) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos)
            break;
        std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        tokens.push_back({line.substr(at, end - at), end});
        at = end;
    }
    return tokens;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && text.size() <= 18 &&
           std::all_of(text.begin(), text.end(), isAsciiDigit);
}

std::int64_t Number(std::string_view digits) {
    std::int64_t value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

bool IsMonth(std::string_view text) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    if (text.size() != 3)
        return false;
    return std::find(kMonths.begin(), kMonths.end(), asciiLowered(text)) != kMonths.end();
}

// "12:00" or a year "2001".
bool IsTimeOrYear(std::string_view text) {
    if (text.size() == 4)
        return AllDigits(text);
    auto colon = text.find(':');
    return colon != std::string_view::npos && colon > 0 && AllDigits(text.substr(0, colon)) &&
           AllDigits(text.substr(colon + 1));
}

// The rest of the line after a token: the name, blanks inside it kept.
std::string NameAfter(std::string_view line, const Token& token) {
    std::size_t at = line.find_first_not_of(" \t", token.end);
    return at == std::string_view::npos ? std::string() : std::string(line.substr(at));
}

// "-rw-r--r-- 1 owner group 1234 Jan 05 12:00 name", the group or the link
// count left out by some servers; a link's " -> target" is dropped.
bool ParseUnixLine(std::string_view line, FtpListEntry& entry) {
    auto tokens = Tokens(line, 9);
    if (tokens.size() < 6 || tokens[0].text.size() < 10 ||
        std::string_view("-dlcbps").find(tokens[0].text[0]) == std::string_view::npos)
        return false;
    for (std::size_t month = 2; month + 2 < tokens.size(); ++month) {
        if (!IsMonth(tokens[month].text) || !AllDigits(tokens[month - 1].text) ||
            !AllDigits(tokens[month + 1].text) || !IsTimeOrYear(tokens[month + 2].text))
            continue;
        std::string name = NameAfter(line, tokens[month + 2]);
        if (name.empty())
            return false;
        char type = tokens[0].text[0];
        entry.kind = type == 'd'   ? FtpListEntry::Kind::Folder
                     : type == 'l' ? FtpListEntry::Kind::Link
                                   : FtpListEntry::Kind::File;
        if (entry.kind == FtpListEntry::Kind::Link)
            name = name.substr(0, name.find(" -> "));
        entry.name = name;
        entry.size = Number(tokens[month - 1].text);
        entry.date = std::string(tokens[month].text) + " " + std::string(tokens[month + 1].text) +
                     " " + std::string(tokens[month + 2].text);
        return true;
    }
    return false;
}

// "01-05-01  12:00PM  <DIR>  name" or "01-05-2001  12:00PM  1234 name".
bool ParseDosLine(std::string_view line, FtpListEntry& entry) {
    auto tokens = Tokens(line, 3);
    if (tokens.size() < 3)
        return false;
    std::string_view date = tokens[0].text, time = tokens[1].text;
    if ((date.size() != 8 && date.size() != 10) || date[2] != '-' || date[5] != '-')
        return false;
    if (time.size() < 5 || time[2] != ':')
        return false;
    std::string name = NameAfter(line, tokens[2]);
    if (name.empty())
        return false;
    if (tokens[2].text == "<DIR>") {
        entry.kind = FtpListEntry::Kind::Folder;
    } else if (AllDigits(tokens[2].text)) {
        entry.kind = FtpListEntry::Kind::File;
        entry.size = Number(tokens[2].text);
    } else {
        return false;
    }
    entry.name = name;
    entry.date = std::string(date) + " " + std::string(time);
    return true;
}

}  // namespace

bool ParseListLine(std::string_view line, FtpListEntry& entry) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    entry = FtpListEntry{};
    auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return false;
    auto tokens = Tokens(line, 3);
    if (tokens.size() == 2 && tokens[0].text == "total" && AllDigits(tokens[1].text))
        return false;
    if (ParseUnixLine(line, entry) || ParseDosLine(line, entry))
        return true;
    entry = FtpListEntry{};
    // A name alone (NLST) or a form not known: the text is the name.
    std::string_view name = line.substr(first);
    entry.name = std::string(name.substr(0, name.find_last_not_of(" \t\r") + 1));
    return true;
}

std::vector<FtpListEntry> ParseListing(std::string_view text) {
    std::vector<FtpListEntry> entries;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        FtpListEntry entry;
        if (ParseListLine(text.substr(at, end - at), entry) && entry.name != "." &&
            entry.name != "..")
            entries.push_back(std::move(entry));
        at = end + 1;
    }
    return entries;
}

char KindLetter(FtpListEntry::Kind kind) {
    switch (kind) {
        case FtpListEntry::Kind::File:
            return 'f';
        case FtpListEntry::Kind::Folder:
            return 'd';
        case FtpListEntry::Kind::Link:
            return 'l';
        default:
            return '?';
    }
}

}  // namespace orvane
