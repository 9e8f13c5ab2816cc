#pragma once

#include <windows.h>

#include "platform/unique_resource.h"

namespace orvane {

struct HandleTraits {
    using Resource = HANDLE;
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    static void close(HANDLE handle) { CloseHandle(handle); }
};

// Owns one Win32 handle and closes it when it goes out of scope.
using UniqueHandle = UniqueResource<HandleTraits>;

}  // namespace orvane
