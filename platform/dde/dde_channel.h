#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// What carries a DDE execute conversation on this platform: one Unix-domain
// socket per service in a folder that only the user can open.
//
// A client connects to the service's socket and sends one request:
//   "ODDE", version byte 1, topic length (1 byte, 1..255),
//   command length (4 bytes, big-endian, 0..kDdeMaxCommandBytes),
//   the topic, the command (the execute text, without a final NUL).
// The server answers one byte about the topic ('A' accepted, 'R' refused;
// after 'R' it closes), and once its handler has run, one byte about the
// command ('H' handled, 'N' not handled), then closes.

inline constexpr int kDdeTimeoutMs = 2000;
inline constexpr std::size_t kDdeMaxCommandBytes = 64 * 1024;
inline constexpr std::size_t kDdeMaxTopicBytes = 255;
inline constexpr std::size_t kDdeMaxServiceBytes = 64;
inline constexpr std::size_t kDdeHeaderBytes = 10;

inline constexpr char kDdeTopicAccepted = 'A';
inline constexpr char kDdeTopicRefused = 'R';
inline constexpr char kDdeCommandHandled = 'H';
inline constexpr char kDdeCommandNotHandled = 'N';

// $XDG_RUNTIME_DIR/orvane-dde, else /tmp/orvane-dde-<uid>.
std::string defaultDdeDirectory();

// Makes sure the folder is private to this user: a real folder (not a
// link), owned by the effective user, with no access for group or others.
// A missing folder is created (mode 0700) when create is set. Returns an
// empty text when the folder may be used, else the reason it may not.
std::string checkPrivateDirectory(const std::string& folder, bool create);

// The socket of a service in the folder: the name in lower case, as
// service names compare without regard to case. nullopt when the name
// cannot be a service (empty, too long, "/" or a control character in it,
// "." or "..") or the path would not fit a socket address.
std::optional<std::string> ddeSocketPath(const std::string& folder, std::string_view service);

bool ddeNamesEqual(std::string_view a, std::string_view b);

// The bytes of a request; the caller has checked the lengths.
std::string encodeDdeRequest(std::string_view topic, std::string_view command);

// Collects a request from the bytes that arrive, refusing it as soon as its
// header is wrong or longer than allowed, so a peer never makes the server
// hold more than one bounded request.
class DdeRequestReader {
  public:
    enum class State { NeedMore, TopicComplete, Complete, Invalid };

    // Takes some bytes; returns the state reached. Bytes beyond a complete
    // request make it invalid.
    State feed(std::string_view bytes);
    State state() const { return state_; }
    const std::string& topic() const { return topic_; }
    const std::string& command() const { return command_; }

  private:
    State advance();

    std::string buffer_;
    std::string topic_;
    std::string command_;
    std::size_t topicLength_ = 0;
    std::size_t commandLength_ = 0;
    bool headerRead_ = false;
    State state_ = State::NeedMore;
};

}  // namespace orvane
