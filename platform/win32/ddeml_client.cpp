#include "platform/win32/ddeml_client.h"

// windows.h comes first: the other Windows headers build on it.
#include <windows.h>

#include <ddeml.h>

#include <cstdio>
#include <vector>

namespace orvane {
namespace {

// A DDE client instance, uninitialised when it ends.
class DdeInstance {
  public:
    DdeInstance() {
        if (DdeInitializeA(&id_, nullptr, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
            id_ = 0;
    }
    ~DdeInstance() {
        if (id_ != 0)
            DdeUninitialize(id_);
    }
    DdeInstance(const DdeInstance&) = delete;
    DdeInstance& operator=(const DdeInstance&) = delete;
    DWORD id() const { return id_; }

  private:
    DWORD id_ = 0;
};

// A string handle of the instance, freed when it ends.
class DdeString {
  public:
    DdeString(DWORD instance, const std::string& text)
        : instance_(instance),
          handle_(DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI)) {}
    ~DdeString() {
        if (handle_ != nullptr)
            DdeFreeStringHandle(instance_, handle_);
    }
    DdeString(const DdeString&) = delete;
    DdeString& operator=(const DdeString&) = delete;
    HSZ get() const { return handle_; }

  private:
    DWORD instance_;
    HSZ handle_;
};

std::string describe(const char* what, UINT error) {
    char text[160];
    std::snprintf(text, sizeof text, "%s (DDE error 0x%04x)", what, error);
    return text;
}

}  // namespace

DdemlOutcome ddemlExecute(const std::string& service, const std::string& topic,
                          const std::string& command, unsigned timeoutMs) {
    DdemlOutcome outcome;
    DdeInstance instance;
    if (instance.id() == 0) {
        outcome.failure = "the DDE library could not be initialised";
        return outcome;
    }
    DdeString serviceName(instance.id(), service), topicName(instance.id(), topic);
    HCONV conversation = DdeConnect(instance.id(), serviceName.get(), topicName.get(), nullptr);
    if (conversation == nullptr) {
        outcome.failure = describe(
            ("no conversation with service \"" + service + "\" on topic \"" + topic + "\"").c_str(),
            DdeGetLastError(instance.id()));
        return outcome;
    }
    outcome.conversationMade = true;
    std::vector<BYTE> data(command.begin(), command.end());
    data.push_back(0);
    DWORD result = 0;
    HDDEDATA answer =
        DdeClientTransaction(data.data(), static_cast<DWORD>(data.size()), conversation, nullptr,
                             CF_TEXT, XTYP_EXECUTE, timeoutMs, &result);
    outcome.commandHandled = answer != nullptr;
    DdeDisconnect(conversation);
    return outcome;
}

}  // namespace orvane
