#include "platform/dde/dde_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/unique_fd.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

int millisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Connects to the socket, retrying while the server's queue is full, until
// the deadline. The error of the last attempt is left in errno.
UniqueFd connectTo(const std::string& path, Clock::time_point deadline) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    for (;;) {
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd.valid())
            return fd;
        if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return fd;
        if (errno != EAGAIN || millisecondsLeft(deadline) == 0)
            return UniqueFd();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool peerIsThisUser(int fd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return credentials.uid == geteuid();
}

// Writes everything before the deadline; false when the peer went away or
// time ran out.
bool sendAll(int fd, std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
        ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN)
            return false;
        pollfd wait{fd, POLLOUT, 0};
        if (::poll(&wait, 1, millisecondsLeft(deadline)) <= 0)
            return false;
    }
    return true;
}

// One answer byte before the deadline; nullopt on time-out or close.
std::optional<char> receiveByte(int fd, Clock::time_point deadline) {
    for (;;) {
        char byte = 0;
        ssize_t got = ::recv(fd, &byte, 1, 0);
        if (got == 1)
            return byte;
        if (got == 0 || (errno != EAGAIN && errno != EINTR))
            return std::nullopt;
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, millisecondsLeft(deadline)) <= 0)
            return std::nullopt;
    }
}

std::string checkRequest(std::string_view service, std::string_view topic,
                         std::string_view command) {
    if (command.size() > kDdeMaxCommandBytes)
        return "command longer than " + std::to_string(kDdeMaxCommandBytes) + " bytes";
    if (topic.empty() || topic.size() > kDdeMaxTopicBytes)
        return "topic must have 1 to " + std::to_string(kDdeMaxTopicBytes) + " bytes";
    if (service.empty())
        return "no service name";
    return {};
}

struct Request {
    std::string_view service, topic, command;
    int timeoutMs;
    Clock::time_point deadline;
};

void exchange(int fd, const Request& request, DdeOutcome& outcome) {
    const auto& [service, topic, command, timeoutMs, deadline] = request;
    bool sent = sendAll(fd, encodeDdeRequest(topic, command), deadline);
    std::optional<char> topicAnswer = receiveByte(fd, deadline);
    if (!topicAnswer) {
        outcome.failure = sent ? "no answer from service " + quoted(service) + " within " +
                                     std::to_string(timeoutMs) + " ms"
                               : "connection to service " + quoted(service) + " broken";
        return;
    }
    if (*topicAnswer != kDdeTopicAccepted) {
        outcome.failure = "service " + quoted(service) + " does not accept topic " + quoted(topic);
        return;
    }
    outcome.conversationMade = true;
    outcome.commandSent = sent;
    if (!sent) {
        outcome.failure = "connection to service " + quoted(service) + " broken";
        return;
    }
    if (auto verdict = receiveByte(fd, deadline))
        outcome.commandHandled = *verdict == kDdeCommandHandled;
}

}  // namespace

DdeOutcome ddeExecute(std::string_view service, std::string_view topic, std::string_view command,
                      const DdeClientOptions& options) {
    DdeOutcome outcome;
    if (outcome.failure = checkRequest(service, topic, command); !outcome.failure.empty())
        return outcome;
    auto path = ddeSocketPath(options.directory, service);
    if (!path) {
        outcome.failure = "invalid service name " + quoted(service);
        return outcome;
    }
    if (::access(options.directory.c_str(), F_OK) != 0) {
        outcome.failure = "no server for service " + quoted(service);
        return outcome;
    }
    if (std::string unsafe = checkPrivateDirectory(options.directory, false); !unsafe.empty()) {
        outcome.failure = "socket folder refused: " + unsafe;
        return outcome;
    }
    Request request{service, topic, command, options.timeoutMs,
                    Clock::now() + std::chrono::milliseconds(options.timeoutMs)};
    UniqueFd fd = connectTo(*path, request.deadline);
    if (!fd.valid()) {
        outcome.failure = "no server for service " + quoted(service);
        return outcome;
    }
    if (!peerIsThisUser(fd.get())) {
        outcome.failure = "the server of service " + quoted(service) + " belongs to another user";
        return outcome;
    }
    exchange(fd.get(), request, outcome);
    return outcome;
}

}  // namespace orvane
