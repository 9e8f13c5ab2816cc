#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// A settings file read and written the way the Windows private-profile
// functions do it (GetPrivateProfileString / WritePrivateProfileString):
//
//   [Section]
//   Key=Value
//
// Section and key names compare without regard to ASCII case. Reading is
// lenient: blanks before names and around "=" are ignored, a value wrapped
// in a pair of matching quotes loses them, lines without "=", comments (";")
// and garbage are skipped but kept, the last line needs no line feed, and
// when a key appears twice the first one counts. A value is cut at a NUL
// byte, as the C interface would see it.
//
// Writing a key changes only that key's line (or adds one at the end of its
// section, or a new section at the end of the file) and keeps every other
// line and the order of the file. A value never puts a line break into the
// file: it is cut at its first CR or LF (or NUL, where a C string ends). The file is replaced as a
// whole (see replaceFileContents), so a crash never leaves half a file.
//
// The file is read afresh on every call; nothing is cached.
class ProfileFile {
  public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // The key's value; nullopt when the file, the section or the key is missing.
    std::optional<std::string> find(std::string_view section, std::string_view key) const;
    // The key's value, or the default when it is missing.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    bool hasSection(std::string_view section) const;
    // The section names in file order, each once (as first spelt).
    std::vector<std::string> sectionNames() const;

    // Sets the key, creating the file and the section as needed. False when
    // the file cannot be written, or the section or key name could not be
    // read back (empty, a line break, "]" in a section, "=" in a key).
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    // Makes sure the section exists (an empty one is added when missing).
    bool addSection(std::string_view section);

  private:
    std::string path_;
};

// The value as written to the file: everything before its first CR, LF or NUL.
std::string_view singleLineValue(std::string_view value);

}  // namespace orvane
