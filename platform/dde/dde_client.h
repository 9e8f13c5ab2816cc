#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/dde/dde_channel.h"

namespace orvane {

// What became of one execute command.
struct DdeOutcome {
    // The server was reached and accepted the topic.
    bool conversationMade = false;
    // The whole command was handed to the server.
    bool commandSent = false;
    // The server's verdict on the command; nullopt when none arrived within
    // the time-out (the command was still delivered).
    std::optional<bool> commandHandled;
    // Why no conversation was made or the command was not sent (one line,
    // without a final line feed); empty when it was delivered.
    std::string failure;

    bool delivered() const { return conversationMade && commandSent; }
};

struct DdeClientOptions {
    std::string directory = defaultDdeDirectory();
    int timeoutMs = kDdeTimeoutMs;  // for the whole exchange
};

// Sends one execute command to the service's server on the given topic and
// waits for its answer, at most the time-out. The service's folder must be
// private to this user and its server must run as this user; otherwise
// nothing is sent. A command longer than kDdeMaxCommandBytes is refused
// before anything is sent.
DdeOutcome ddeExecute(std::string_view service, std::string_view topic, std::string_view command,
                      const DdeClientOptions& options = {});

}  // namespace orvane
