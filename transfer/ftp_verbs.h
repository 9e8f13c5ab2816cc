#pragma once

#include <string_view>

#include "platform/ascii_text.h"

namespace orvane {

// The FTP commands that move data over a data connection of their own: a
// file (RETR) or a folder's listing (LIST, NLST), in either case.
inline bool IsFtpTransferVerb(std::string_view verb) {
    return equalIgnoringCase(verb, "RETR") || equalIgnoringCase(verb, "LIST") ||
           equalIgnoringCase(verb, "NLST");
}

// The commands that set up a data connection: active (PORT, EPRT) or
// passive (PASV, EPSV).
inline bool IsFtpModeVerb(std::string_view verb) {
    return equalIgnoringCase(verb, "PORT") || equalIgnoringCase(verb, "EPRT") ||
           equalIgnoringCase(verb, "PASV") || equalIgnoringCase(verb, "EPSV");
}

}  // namespace orvane
