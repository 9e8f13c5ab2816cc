#pragma once

#include <optional>
#include <string>

namespace orvane {

// The name, without ".url", that a page's title gives its favourite: the
// characters that cannot stand in a file name here or on Windows (\ / : * ?
// " < > | and control characters) become "_"; leading dots and blanks (a
// name starting with a dot is a hidden file, which the Favorites menu
// passes over) and trailing dots and blanks are dropped; at most 200 bytes,
// never cutting a UTF-8 character. An empty result becomes the URL's host,
// else "Untitled".
std::string FavoriteName(const std::string& title, const std::string& url);

// Writes an Internet shortcut to url into folder (made when missing), named
// after the title, with " (2)", " (3)" ... added while the name is taken.
// The file's path, or nullopt with the reason in error.
std::optional<std::string> WriteFavoriteShortcut(const std::string& folder,
                                                 const std::string& title, const std::string& url,
                                                 std::string& error);

}  // namespace orvane
