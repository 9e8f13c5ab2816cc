// orvane-dde.exe SERVICE TOPIC COMMAND: sends one DDE execute command through
// Windows' DDE management library, so that programs outside Windows (the
// browser on Linux, through Wine) can reach a Windows program's DDE server.

// windows.h comes first: the other Windows headers build on it.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <optional>
#include <string>

#include "platform/win32/ddeml_client.h"

namespace {

constexpr int kDelivered = 0;
constexpr int kNotDelivered = 1;
constexpr int kUsage = 2;
// The transaction's time-out, as every DDE client of the tool set waits.
constexpr unsigned kTimeoutMs = 2000;

void printUsage() {
    std::fputs(
        "usage: orvane-dde.exe SERVICE TOPIC COMMAND\n"
        "Sends COMMAND as a DDE execute command to SERVICE on TOPIC.\n"
        "Exit status 0: conversation made and command sent; 1: no conversation; 2: usage.\n",
        stderr);
}

// The text in the ANSI code page, which a CF_TEXT command is written in;
// nullopt when a character has no place there (it would reach the server as
// another character, naming another file).
std::optional<std::string> ansiText(const wchar_t* text) {
    BOOL lossy = FALSE;
    BOOL* lossyFlag = GetACP() == CP_UTF8 ? nullptr : &lossy;
    DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int size = WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, nullptr, lossyFlag);
    if (size <= 0 || lossy)
        return std::nullopt;
    std::string ansi(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, flags, text, -1, ansi.data(), size, nullptr, nullptr);
    ansi.pop_back();  // the final zero
    return ansi;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 4) {
        printUsage();
        return kUsage;
    }
    auto service = ansiText(argv[1]), topic = ansiText(argv[2]), command = ansiText(argv[3]);
    LocalFree(argv);
    if (!service || !topic || !command) {
        std::fputs("orvane-dde.exe: the text cannot be written in this system's code page\n",
                   stderr);
        return kNotDelivered;
    }
    orvane::DdemlOutcome outcome = orvane::ddemlExecute(*service, *topic, *command, kTimeoutMs);
    if (!outcome.conversationMade) {
        std::fprintf(stderr, "orvane-dde.exe: %s\n", outcome.failure.c_str());
        return kNotDelivered;
    }
    if (!outcome.commandHandled)
        std::fprintf(stderr, "orvane-dde.exe: service \"%s\" did not handle the command\n",
                     service->c_str());
    return kDelivered;
}
