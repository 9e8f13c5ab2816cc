// The printf-style texts of the loaders' console, the same on every platform.
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/console.h"

namespace orvane {
namespace {

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return {};
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

void Console::print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    out(vformat(format, args));
    va_end(args);
}

void Console::printErr(const char* format, ...) {
    va_list args;
    va_start(args, format);
    err(vformat(format, args));
    va_end(args);
}

}  // namespace orvane
