#pragma once

#include <windows.h>

#include <string>

namespace orvane {

// What Windows says about an error code (FormatMessage), on one line
// without the trailing line end; the code itself when Windows has no text.
std::string SystemMessage(DWORD errorCode);

}  // namespace orvane
