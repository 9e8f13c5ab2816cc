#pragma once

#include <string>

namespace orvane {

// The address the address box navigates to for what was typed into it:
// surrounding blanks go; text without a scheme is taken as a web address
// ("www.example.org" -> "http://www.example.org/"), an absolute path as a
// local file; an address with a scheme ("ftp://...", "about:blank") is
// kept as typed.
std::string CompleteAddress(const std::string& typed);

}  // namespace orvane
