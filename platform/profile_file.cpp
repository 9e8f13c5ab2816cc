#include "platform/profile_file.h"

#include <algorithm>

#include "platform/ascii_text.h"
#include "platform/profile_document.h"
#include "platform/whole_file.h"

namespace orvane {
namespace {

ProfileDocument load(const std::string& path) {
    auto text = readWholeFile(path);
    return ProfileDocument::parse(text ? *text : std::string());
}

std::string_view trimmedName(std::string_view name) {
    std::size_t first = name.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

bool hasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A section name that would read back as the same section.
bool usableSectionName(std::string_view section) {
    return !section.empty() && !hasLineBreakOrNul(section) &&
           section.find(']') == std::string_view::npos;
}

// A key name that would read back as the same key of its section.
bool usableKeyName(std::string_view key) {
    return !key.empty() && !hasLineBreakOrNul(key) && key.find('=') == std::string_view::npos &&
           key.front() != '[' && key.front() != ';';
}

}  // namespace

std::string_view singleLineValue(std::string_view value) {
    return value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
}

std::optional<std::string> ProfileFile::find(std::string_view section, std::string_view key) const {
    ProfileDocument document = load(path_);
    const auto* entry = document.findEntry(trimmedName(section), trimmedName(key));
    if (entry == nullptr)
        return std::nullopt;
    return entry->value;
}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    auto value = find(section, key);
    return value ? *value : std::string(defaultValue);
}

bool ProfileFile::hasSection(std::string_view section) const {
    return load(path_).findSection(trimmedName(section)).has_value();
}

std::vector<std::string> ProfileFile::sectionNames() const {
    std::vector<std::string> names;
    ProfileDocument document = load(path_);
    for (const auto& line : document.lines()) {
        if (line.kind != ProfileDocument::Kind::Section)
            continue;
        bool seen = std::any_of(names.begin(), names.end(), [&](const std::string& name) {
            return equalIgnoringCase(name, line.name);
        });
        if (!seen)
            names.push_back(line.name);
    }
    return names;
}

bool ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value) {
    section = trimmedName(section);
    key = trimmedName(key);
    if (!usableSectionName(section) || !usableKeyName(key))
        return false;
    ProfileDocument document = load(path_);
    document.setEntry(section, key, singleLineValue(value));
    return replaceFileContents(path_, document.render());
}

bool ProfileFile::addSection(std::string_view section) {
    section = trimmedName(section);
    if (!usableSectionName(section))
        return false;
    ProfileDocument document = load(path_);
    if (document.findSection(section))
        return true;
    document.addSection(section);
    return replaceFileContents(path_, document.render());
}

}  // namespace orvane
