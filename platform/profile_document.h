#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The lines of a private-profile text, each kept byte for byte and
// classified, so that one key can be changed without touching the rest.
class ProfileDocument {
  public:
    enum class Kind { Other, Section, Entry };
    struct Line {
        std::string raw;  // the bytes of the line, without its line end
        // The line end as read ("\r\n" or "\n"); empty for a line the program
        // added or a last line without one, which get the file's own.
        std::string ending;
        Kind kind = Kind::Other;
        std::string name;   // section or key name, blanks trimmed
        std::string value;  // an entry's value, trimmed and unquoted
    };

    static ProfileDocument parse(std::string_view text);
    std::string render() const;

    const std::vector<Line>& lines() const { return lines_; }
    // The first entry of the key in any section of that name.
    const Line* findEntry(std::string_view section, std::string_view key) const;
    std::optional<std::size_t> findSection(std::string_view section) const;

    void setEntry(std::string_view section, std::string_view key, std::string_view value);
    void addSection(std::string_view section);

  private:
    std::optional<std::size_t> findEntryIndex(std::string_view section, std::string_view key) const;
    std::size_t endOfSectionEntries(std::size_t header) const;
    void appendLine(std::string raw);

    std::vector<Line> lines_;
    std::string lineEnd_ = "\n";
    std::string byteOrderMark_;
};

}  // namespace orvane
