#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// A Content-Range field of a 206 answer: "bytes FIRST-LAST/TOTAL" (RFC 9110
// 14.4), TOTAL -1 when the server wrote "*".
struct ContentRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t total = -1;
};
// nullopt for anything else, "bytes */TOTAL" (the 416 form) included.
std::optional<ContentRange> ParseContentRange(std::string_view field);

// What an answer says about the file it carries: its validators and its
// whole length (-1 when not given).
struct FileIdentity {
    std::string etag;
    std::string lastModified;
    std::int64_t total = -1;
};

// The decision on an answer to a resumed request.
enum class ResumeStep {
    Append,         // the bytes continue the partial file
    TakeWhole,      // the answer is the whole file again: from byte 0
    AskAgainWhole,  // the answer is no use: ask for the whole file anew
    Fail,           // a failure a new try cannot mend
};

// The tries of one transfer: after a lost connection up to `retries` more
// tries, each after its wait, and the judgement of the answer to each. The
// partial file is only continued when the server proves that it is the same
// file: its strong ETag, else its Last-Modified, is sent in If-Range, and
// the answer must start where the file ends and name the same total; with
// no validator at all the same total is the only proof.
class ResumePlan {
  public:
    explicit ResumePlan(int retries, std::vector<int> waitsMs = {1000, 2000, 4000});

    // The first answer's identity, which every later one must match.
    void Remember(FileIdentity first) { first_ = std::move(first); }
    const FileIdentity& remembered() const { return first_; }
    // The bytes the partial file held before the first try (-c).
    void StartAt(std::int64_t bytes) { furthest_ = bytes; }
    // Another try is left after a try that ended with `reached` bytes in
    // the file; Advance counts it and gives its wait. A try that took the
    // file further than any before shows the link working: the next try
    // comes at once and the count starts again. Tries that bring nothing
    // new are at most `retries` in a row, after the waits in turn.
    bool TryLeft(std::int64_t reached) const {
        return retries_ > 0 && (reached > furthest_ || tries_ < retries_);
    }
    int Advance(std::int64_t reached);
    // 1 for the first try, 2 for the first resumed one (counted since the
    // last try that took the file further).
    int tryNumber() const { return tries_ + 1; }
    int totalTries() const { return retries_ + 1; }
    // The partial file of `have` bytes may be continued with a Range request.
    bool CanAskRange(std::int64_t have) const { return have > 0 && first_.total > have; }
    // The If-Range value: the strong ETag, else Last-Modified, else empty.
    std::string IfRangeValue() const;
    ResumeStep JudgeHttp(int status, const std::optional<ContentRange>& range,
                         const FileIdentity& answer, std::int64_t have) const;
    // FTP: the SIZE of the new try against the first; then the REST reply.
    ResumeStep JudgeFtpSize(std::int64_t size) const;
    static ResumeStep JudgeRestReply(int code);

  private:
    bool SameValidators(const FileIdentity& answer) const;

    int retries_;
    std::vector<int> waitsMs_;
    int tries_ = 0;
    int stalled_ = 0;  // tries in a row that brought nothing new
    std::int64_t furthest_ = 0;
    FileIdentity first_;
};

// "Connection lost at 12.3 of 50.0 MB; resuming (try 2 of 4)..."
std::string ResumeStatusText(std::int64_t have, std::int64_t total, int tryNumber, int tries);

}  // namespace orvane
