#pragma once

#include <string>

namespace orvane {

// What became of one execute command sent through Windows' DDE management
// library.
struct DdemlOutcome {
    bool conversationMade = false;
    // The server acknowledged the command (DDE_FACK) within the time-out.
    bool commandHandled = false;
    // Why no conversation was made (one line); empty when one was.
    std::string failure;
};

// One execute transaction, as a DDE client only: connect to the service and
// topic, send the command as CF_TEXT with its final zero byte, wait at most
// timeoutMs for the server, disconnect. Texts are in the ANSI code page.
DdemlOutcome ddemlExecute(const std::string& service, const std::string& topic,
                          const std::string& command, unsigned timeoutMs);

}  // namespace orvane
