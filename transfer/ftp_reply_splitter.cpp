#include "transfer/ftp_reply_splitter.h"

#include "platform/ascii_text.h"

namespace orvane {

namespace {

// The line's code when it begins with three digits followed by the end of
// the line or by the given separator; 0 otherwise.
int CodeOf(const std::string& line, char separator) {
    if (line.size() < 3 || !isAsciiDigit(line[0]) || !isAsciiDigit(line[1]) ||
        !isAsciiDigit(line[2]))
        return 0;
    if (line.size() > 3 && line[3] != separator)
        return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

}  // namespace

std::vector<FtpReply> FtpReplySplitter::Take(std::string_view bytes) {
    std::vector<FtpReply> replies;
    for (char c : bytes) {
        if (c == '\n') {
            std::string line = std::move(line_);
            line_.clear();
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            TakeLine(std::move(line), replies);
        } else if (line_.size() < kMaxLine) {
            line_ += c;
        }
    }
    return replies;
}

void FtpReplySplitter::TakeLine(std::string line, std::vector<FtpReply>& replies) {
    if (openCode_ != 0) {
        if (reply_.size() + line.size() + 2 <= kMaxReply)
            reply_ += "\r\n" + line;
        if (CodeOf(line, ' ') == openCode_ && line.size() >= 3) {
            replies.push_back({openCode_, std::move(reply_)});
            reply_.clear();
            openCode_ = 0;
        }
        return;
    }
    if (int code = CodeOf(line, ' '); code != 0) {
        replies.push_back({code, std::move(line)});
        return;
    }
    if (int code = CodeOf(line, '-'); code != 0 && line.size() > 3) {
        openCode_ = code;
        reply_ = std::move(line);
    }
}

void FtpReplySplitter::Clear() {
    line_.clear();
    reply_.clear();
    openCode_ = 0;
}

}  // namespace orvane
