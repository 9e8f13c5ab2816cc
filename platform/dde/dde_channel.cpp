#include "platform/dde/dde_channel.h"

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ascii_text.h"

namespace orvane {
namespace {

constexpr std::string_view kMagic = "ODDE";
constexpr char kVersion = 1;

bool usableServiceName(std::string_view service) {
    if (service.empty() || service.size() > kDdeMaxServiceBytes)
        return false;
    if (service == "." || service == "..")
        return false;
    return std::none_of(service.begin(), service.end(), [](char c) {
        return c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
}

std::string describeMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

}  // namespace

std::string defaultDdeDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        return std::string(runtime) + "/orvane-dde";
    return "/tmp/orvane-dde-" + std::to_string(geteuid());
}

std::string checkPrivateDirectory(const std::string& folder, bool create) {
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
        if (errno != ENOENT || !create)
            return folder + " cannot be used: " + std::strerror(errno);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return folder + " cannot be created: " + std::strerror(errno);
        if (::lstat(folder.c_str(), &status) != 0)
            return folder + " cannot be used: " + std::strerror(errno);
    }
    if (!S_ISDIR(status.st_mode))
        return folder + " is not a folder";
    if (status.st_uid != geteuid())
        return folder + " belongs to another user (uid " + std::to_string(status.st_uid) + ")";
    if ((status.st_mode & 077) != 0)
        return folder + " is open to other users (mode " + describeMode(status.st_mode) + ")";
    return {};
}

std::optional<std::string> ddeSocketPath(const std::string& folder, std::string_view service) {
    if (!usableServiceName(service))
        return std::nullopt;
    std::string path = folder + "/" + asciiLowered(service);
    if (path.size() >= sizeof(sockaddr_un::sun_path))
        return std::nullopt;
    return path;
}

bool ddeNamesEqual(std::string_view a, std::string_view b) {
    return equalIgnoringCase(a, b);
}

std::string encodeDdeRequest(std::string_view topic, std::string_view command) {
    std::string request(kMagic);
    request += kVersion;
    request += static_cast<char>(topic.size());
    auto length = static_cast<std::uint32_t>(command.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        request += static_cast<char>((length >> shift) & 0xff);
    request += topic;
    request += command;
    return request;
}

DdeRequestReader::State DdeRequestReader::feed(std::string_view bytes) {
    if (state_ == State::Invalid)
        return state_;
    if (state_ == State::Complete)
        return state_ = bytes.empty() ? state_ : State::Invalid;
    buffer_ += bytes;
    return state_ = advance();
}

DdeRequestReader::State DdeRequestReader::advance() {
    if (!headerRead_) {
        if (buffer_.size() < kDdeHeaderBytes) {
            std::size_t known = std::min(buffer_.size(), kMagic.size());
            bool magicSoFar = buffer_.compare(0, known, kMagic, 0, known) == 0;
            return magicSoFar ? State::NeedMore : State::Invalid;
        }
        if (buffer_.compare(0, kMagic.size(), kMagic) != 0 || buffer_[4] != kVersion)
            return State::Invalid;
        topicLength_ = static_cast<unsigned char>(buffer_[5]);
        commandLength_ = 0;
        for (int i = 6; i < 10; ++i)
            commandLength_ = (commandLength_ << 8) | static_cast<unsigned char>(buffer_[i]);
        if (topicLength_ == 0 || commandLength_ > kDdeMaxCommandBytes)
            return State::Invalid;
        buffer_.erase(0, kDdeHeaderBytes);
        headerRead_ = true;
    }
    if (buffer_.size() < topicLength_)
        return State::NeedMore;
    topic_ = buffer_.substr(0, topicLength_);
    std::size_t bodyLength = topicLength_ + commandLength_;
    if (buffer_.size() > bodyLength)
        return State::Invalid;
    if (buffer_.size() < bodyLength)
        return State::TopicComplete;
    command_ = buffer_.substr(topicLength_);
    buffer_.clear();
    return State::Complete;
}

}  // namespace orvane
