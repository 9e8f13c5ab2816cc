// The loaders' console output and its printf-style texts, the same on every
// platform; only the keyboard differs.
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

// Every line is flushed at once: progress lines are rewritten in place and a
// script reading the output sees each as it comes.
void StdConsole::out(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void StdConsole::err(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace orvane
