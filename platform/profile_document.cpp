#include "platform/profile_document.h"

#include <algorithm>

#include "platform/ascii_text.h"

namespace orvane {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";
// A value also sheds stray carriage returns at its end: they are line-end
// debris, and a value must read the same before and after a rewrite gives
// the file's last line a proper line end.
constexpr std::string_view kValueBlanks = " \t\r";

std::string_view trimmed(std::string_view text, std::string_view blanks = kBlanks) {
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// A value wrapped in a pair of matching quotes is read without them.
std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string_view untilNul(std::string_view value) {
    return value.substr(0, value.find('\0'));
}

ProfileDocument::Line classify(std::string raw) {
    ProfileDocument::Line line;
    std::string_view text = trimmed(raw);
    if (!text.empty() && text.front() == '[') {
        std::size_t close = text.find(']');
        if (close != std::string_view::npos) {
            line.kind = ProfileDocument::Kind::Section;
            line.name = trimmed(text.substr(1, close - 1));
        }
    } else if (!text.empty() && text.front() != ';') {
        std::size_t equals = text.find('=');
        std::string_view key = trimmed(text.substr(0, equals));
        if (equals != std::string_view::npos && !key.empty()) {
            line.kind = ProfileDocument::Kind::Entry;
            line.name = key;
            line.value = untilNul(unquoted(trimmed(text.substr(equals + 1), kValueBlanks)));
        }
    }
    line.raw = std::move(raw);
    return line;
}

bool isBlankLine(const std::string& raw) {
    return trimmed(raw).empty();
}

}  // namespace

ProfileDocument ProfileDocument::parse(std::string_view text) {
    ProfileDocument document;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        document.byteOrderMark_ = kByteOrderMark;
        text.remove_prefix(kByteOrderMark.size());
    }
    std::size_t firstBreak = text.find('\n');
    if (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r')
        document.lineEnd_ = "\r\n";
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view piece = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        bool crBeforeEnd = !piece.empty() && piece.back() == '\r';
        if (crBeforeEnd)
            piece.remove_suffix(1);
        Line line = classify(std::string(piece));
        // Each line keeps its own end, so that rewriting one key leaves every
        // other line's bytes, stray carriage returns included, as they were.
        if (end != std::string_view::npos)
            line.ending = crBeforeEnd ? "\r\n" : "\n";
        document.lines_.push_back(std::move(line));
    }
    return document;
}

std::string ProfileDocument::render() const {
    std::string text = byteOrderMark_;
    for (const Line& line : lines_)
        text += line.raw + (line.ending.empty() ? lineEnd_ : line.ending);
    return text;
}

std::optional<std::size_t> ProfileDocument::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section && equalIgnoringCase(lines_[i].name, section))
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> ProfileDocument::findEntryIndex(std::string_view section,
                                                           std::string_view key) const {
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Section)
            inSection = equalIgnoringCase(line.name, section);
        if (inSection && line.kind == Kind::Entry && equalIgnoringCase(line.name, key))
            return i;
    }
    return std::nullopt;
}

const ProfileDocument::Line* ProfileDocument::findEntry(std::string_view section,
                                                        std::string_view key) const {
    auto index = findEntryIndex(section, key);
    return index ? &lines_[*index] : nullptr;
}

std::size_t ProfileDocument::endOfSectionEntries(std::size_t header) const {
    std::size_t lastEntry = header;
    for (std::size_t i = header + 1; i < lines_.size() && lines_[i].kind != Kind::Section; ++i) {
        if (lines_[i].kind == Kind::Entry)
            lastEntry = i;
    }
    return lastEntry + 1;
}

void ProfileDocument::appendLine(std::string raw) {
    lines_.push_back(classify(std::move(raw)));
}

void ProfileDocument::addSection(std::string_view section) {
    if (findSection(section))
        return;
    if (!lines_.empty() && !isBlankLine(lines_.back().raw))
        appendLine("");
    appendLine("[" + std::string(section) + "]");
}

void ProfileDocument::setEntry(std::string_view section, std::string_view key,
                               std::string_view value) {
    if (auto existing = findEntryIndex(section, key)) {
        Line& line = lines_[*existing];
        // Keep the key as it was spelt and laid out; only the value changes.
        std::string kept = line.raw.substr(0, line.raw.find('=') + 1);
        std::string ending = std::move(line.ending);
        line = classify(kept + std::string(value));
        line.ending = std::move(ending);
        return;
    }
    addSection(section);
    std::size_t at = endOfSectionEntries(*findSection(section));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  classify(std::string(key) + "=" + std::string(value)));
}

}  // namespace orvane
