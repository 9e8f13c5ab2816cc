#include "platform/wine_registry.h"

#include <cstdint>

#include "platform/ascii_text.h"
#include "platform/hex_digit.h"

namespace orvane {
namespace {

// A text as Wine's registry holds it: UTF-16 code units.
using Units = std::u16string;

constexpr char16_t kReplacement = 0xFFFD;

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string toUtf8(const Units& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char16_t u = units[i];
        if (isHighSurrogate(u) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00));
        } else {
            appendUtf8(out, isHighSurrogate(u) || isLowSurrogate(u) ? kReplacement : u);
        }
    }
    return out;
}

// One UTF-8 sequence at the start of the text, as UTF-16 units; a byte that
// starts no valid sequence is one U+FFFD.
std::size_t decodeUtf8(std::string_view text, Units& out) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 0;
    if (length == 1) {
        out += static_cast<char16_t>(lead);
        return 1;
    }
    if (length == 0 || length > text.size() || lead > 0xF4) {
        out += kReplacement;
        return 1;
    }
    std::uint32_t cp = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            out += kReplacement;
            return 1;
        }
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp);
    }
    return length;
}

// Up to four hex digits after "\x" (one UTF-16 unit), as wineserver reads them.
std::size_t readHexEscape(std::string_view text, Units& out) {
    std::size_t used = 0;
    unsigned value = 0;
    while (used < 4 && used < text.size() && hexDigitValue(text[used]) >= 0)
        value = value * 16 + static_cast<unsigned>(hexDigitValue(text[used++]));
    out += used == 0 ? u'x' : static_cast<char16_t>(value);
    return used;
}

// Up to three octal digits, the first already known to be one.
std::size_t readOctalEscape(std::string_view text, Units& out) {
    std::size_t used = 0;
    unsigned value = 0;
    while (used < 3 && used < text.size() && isOctal(text[used]))
        value = value * 8 + static_cast<unsigned>(text[used++] - '0');
    out += static_cast<char16_t>(value);
    return used;
}

char16_t namedEscape(char c) {
    switch (c) {
        case 'a':
            return u'\a';
        case 'b':
            return u'\b';
        case 'e':
            return 0x1B;
        case 'f':
            return u'\f';
        case 'n':
            return u'\n';
        case 'r':
            return u'\r';
        case 't':
            return u'\t';
        case 'v':
            return u'\v';
        default:
            return 0;
    }
}

// The character after a "\" (text starts there); how many bytes it used.
std::size_t readEscape(std::string_view text, Units& out) {
    char c = text[0];
    if (char16_t named = namedEscape(c)) {
        out += named;
        return 1;
    }
    if (c == 'x')
        return 1 + readHexEscape(text.substr(1), out);
    if (isOctal(c))
        return readOctalEscape(text, out);
    // Any other escaped character stands for itself: \\ \" \[ \].
    return decodeUtf8(text, out);
}

// An escaped string up to its unescaped end character. Sets `used` to the
// bytes read, end character included; nullopt when it never ends.
std::optional<Units> readDelimited(std::string_view text, char endChar, std::size_t& used) {
    Units units;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == endChar) {
            used = i + 1;
            return units;
        }
        if (c != '\\') {
            i += decodeUtf8(text.substr(i), units);
        } else if (i + 1 < text.size()) {
            i += 1 + readEscape(text.substr(i + 1), units);
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string_view withoutOuterSeparators(std::string_view path) {
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return path;
}

// The lines of the text, without their line ends (LF or CR LF).
class Lines {
  public:
    explicit Lines(std::string_view text) : text_(text) {}
    bool next(std::string_view& line) {
        if (pos_ >= text_.size())
            return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// The key named by a "[...]" line; nullopt for any other line.
std::optional<std::string> keyOfLine(std::string_view line) {
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    std::size_t used = 0;
    auto name = readDelimited(line.substr(1), ']', used);
    if (!name)
        return std::nullopt;
    return toUtf8(*name);
}

// UTF-16LE bytes written as "hex(N):41,00,42,00,..." up to the first NUL.
std::optional<std::string> textOfHexBytes(std::string_view bytes) {
    Units units;
    int low = -1;
    std::size_t i = 0;
    while (i < bytes.size()) {
        while (i < bytes.size() && (bytes[i] == ',' || bytes[i] == ' ' || bytes[i] == '\t'))
            ++i;
        if (i == bytes.size())
            break;
        if (i + 1 >= bytes.size() || hexDigitValue(bytes[i]) < 0 || hexDigitValue(bytes[i + 1]) < 0)
            return std::nullopt;
        int value = hexDigitValue(bytes[i]) * 16 + hexDigitValue(bytes[i + 1]);
        i += 2;
        if (low < 0) {
            low = value;
            continue;
        }
        auto unit = static_cast<char16_t>(low | (value << 8));
        low = -1;
        if (unit == 0)
            break;
        units += unit;
    }
    return toUtf8(units);
}

// The text a value's data holds, after its "=".
std::optional<std::string> textOfData(std::string_view data) {
    for (std::string_view type : {"str(2):", "str(7):", "str:"}) {
        if (data.substr(0, type.size()) == type) {
            data.remove_prefix(type.size());
            break;
        }
    }
    if (!data.empty() && data.front() == '"') {
        std::size_t used = 0;
        auto text = readDelimited(data.substr(1), '"', used);
        if (!text)
            return std::nullopt;
        // A multi-string value: its first string.
        return toUtf8(text->substr(0, text->find(u'\0')));
    }
    for (std::string_view type : {"hex(1):", "hex(2):", "hex(7):"}) {
        if (data.substr(0, type.size()) == type)
            return textOfHexBytes(data.substr(type.size()));
    }
    return std::nullopt;
}

// Binary data whose line ends in "\" goes on in the next lines, each
// indented; they are joined on.
std::string withContinuations(std::string_view data, Lines& lines) {
    std::string joined(data);
    std::string_view more;
    while (joined.substr(0, 3) == "hex" && !joined.empty() && joined.back() == '\\' &&
           lines.next(more)) {
        joined.pop_back();
        std::size_t start = more.find_first_not_of(" \t");
        joined += start == std::string_view::npos ? std::string_view() : more.substr(start);
    }
    return joined;
}

// The name of the value a line sets ("" for the default value "@") and
// where its data begins; nullopt for a line that sets none.
std::optional<std::string> valueOfLine(std::string_view line, std::string_view& data) {
    std::size_t used = 0;
    std::string name;
    if (!line.empty() && line.front() == '@') {
        used = 1;
    } else if (!line.empty() && line.front() == '"') {
        auto parsed = readDelimited(line.substr(1), '"', used);
        if (!parsed)
            return std::nullopt;
        name = toUtf8(*parsed);
        used += 1;
    } else {
        return std::nullopt;
    }
    std::size_t equals = line.find_first_not_of(" \t", used);
    if (equals == std::string_view::npos || line[equals] != '=')
        return std::nullopt;
    std::size_t start = line.find_first_not_of(" \t", equals + 1);
    data = start == std::string_view::npos ? std::string_view() : line.substr(start);
    return name;
}

}  // namespace

std::optional<std::string> unescapeWineRegistryText(std::string_view escaped) {
    std::string withEnd(escaped);
    withEnd += '\n';  // an end character the format never leaves unescaped
    std::size_t used = 0;
    auto units = readDelimited(withEnd, '\n', used);
    if (!units)
        return std::nullopt;
    return toUtf8(*units);
}

std::optional<std::string> findWineRegistryString(std::string_view registryText,
                                                  std::string_view keyPath,
                                                  std::string_view valueName) {
    keyPath = withoutOuterSeparators(keyPath);
    Lines lines(registryText);
    std::string_view line;
    bool inKey = false;
    while (lines.next(line)) {
        if (auto key = keyOfLine(line)) {
            inKey = equalIgnoringCase(withoutOuterSeparators(*key), keyPath);
            continue;
        }
        if (!inKey)
            continue;
        std::string_view data;
        auto name = valueOfLine(line, data);
        if (name && equalIgnoringCase(*name, valueName))
            return textOfData(withContinuations(data, lines));
    }
    return std::nullopt;
}

std::string wineRegistryArchitecture(std::string_view registryText) {
    Lines lines(registryText);
    std::string_view line;
    constexpr std::string_view kArch = "#arch=";
    while (lines.next(line)) {
        // The header ends at the first key.
        if (!line.empty() && line.front() == '[')
            break;
        if (line.substr(0, kArch.size()) == kArch)
            return std::string(line.substr(kArch.size()));
    }
    return {};
}

}  // namespace orvane
