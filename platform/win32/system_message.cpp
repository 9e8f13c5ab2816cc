#include "platform/win32/system_message.h"

#include <memory>

namespace orvane {

namespace {

struct LocalFreeDeleter {
    void operator()(char* text) const { LocalFree(text); }
};

}  // namespace

std::string SystemMessage(DWORD errorCode) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, errorCode, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::unique_ptr<char, LocalFreeDeleter> owned(buffer);
    if (length == 0 || !buffer)
        return "error " + std::to_string(errorCode);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace orvane
