#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// One entry of a folder listing as the server wrote it. A line in a form
// that is not known keeps its text as the name (kind Unknown), so that
// nothing the server listed is lost.
struct FtpListEntry {
    enum class Kind { File, Folder, Link, Unknown };
    Kind kind = Kind::Unknown;
    std::string name;
    std::int64_t size = -1;  // -1: not given
    std::string date;        // as written: "Jan 05 12:00", "2001-01-05 12:00PM"
};

// Reads one line of a LIST (Unix "ls -l" style or DOS style) or NLST reply.
// Empty lines and the "total N" line of Unix servers give no entry (false).
bool ParseListLine(std::string_view line, FtpListEntry& entry);
// Every entry of a listing, lines ended by LF or CR LF, "." and ".." left out.
std::vector<FtpListEntry> ParseListing(std::string_view text);
// The entry's type as a letter (d folder, f file, l link, ? unknown).
char KindLetter(FtpListEntry::Kind kind);

}  // namespace orvane
