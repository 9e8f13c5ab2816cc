#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// One complete reply of an FTP server: its three-digit code and its text,
// the lines of a multi-line reply joined by CR LF.
struct FtpReply {
    int code = 0;
    std::string text;
    // The reply's last line, which carries the code and the final word.
    std::string LastLine() const { return text.substr(text.rfind('\n') + 1); }
};

// Turns what the control connection delivers, in reads cut anywhere, into
// complete replies (RFC 959, 4.2): a line "NNN text" is a reply; a line
// "NNN-text" opens a multi-line reply that ends at the next line beginning
// with the same code and a blank. Lines outside a reply that carry no code
// are not replies and are dropped. Lines and replies are bounded, so that a
// server cannot make the client hold unlimited text.
class FtpReplySplitter {
  public:
    static constexpr std::size_t kMaxLine = 8192;
    static constexpr std::size_t kMaxReply = 65536;

    // The replies that these bytes complete, in the order they came.
    std::vector<FtpReply> Take(std::string_view bytes);
    // Part of a reply has arrived and its end has not.
    bool Pending() const { return !line_.empty() || openCode_ != 0; }
    void Clear();

  private:
    void TakeLine(std::string line, std::vector<FtpReply>& replies);

    std::string line_;   // the line under way, before its LF
    std::string reply_;  // the lines of the open multi-line reply so far
    int openCode_ = 0;   // the open multi-line reply's code, 0 when none
};

}  // namespace orvane
