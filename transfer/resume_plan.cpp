#include "transfer/resume_plan.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/console.h"
#include "transfer/progress_text.h"

namespace orvane {

namespace {

constexpr int kPartialContent = 206;
constexpr int kRangeNotSatisfiable = 416;
constexpr int kOk = 200;
constexpr int kRestAccepted = 350;

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Digits only (no sign, no blank), up to the first character not a digit.
std::optional<std::int64_t> TakeNumber(std::string_view& text) {
    std::int64_t value = 0;
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front())))
        return std::nullopt;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc())
        return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

bool TakeChar(std::string_view& text, char wanted) {
    if (text.empty() || text.front() != wanted)
        return false;
    text.remove_prefix(1);
    return true;
}

bool StartsWithBytesUnit(std::string_view& text) {
    constexpr std::string_view kUnit = "bytes ";
    if (text.size() < kUnit.size())
        return false;
    for (std::size_t i = 0; i < kUnit.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != kUnit[i])
            return false;
    text.remove_prefix(kUnit.size());
    return true;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::string_view field) {
    std::string_view text = Trimmed(field);
    if (!StartsWithBytesUnit(text))
        return std::nullopt;
    text = Trimmed(text);
    ContentRange range;
    auto first = TakeNumber(text);
    if (!first || !TakeChar(text, '-'))
        return std::nullopt;
    auto last = TakeNumber(text);
    if (!last || !TakeChar(text, '/') || *last < *first)
        return std::nullopt;
    range.first = *first;
    range.last = *last;
    if (text == "*")
        return range;
    auto total = TakeNumber(text);
    if (!total || !text.empty() || *total <= range.last)
        return std::nullopt;
    range.total = *total;
    return range;
}

ResumePlan::ResumePlan(int retries, std::vector<int> waitsMs)
    : retries_(retries < 0 ? 0 : retries), waitsMs_(std::move(waitsMs)) {}

int ResumePlan::Advance(std::int64_t reached) {
    if (reached > furthest_) {
        furthest_ = reached;
        tries_ = 1;
        stalled_ = 0;
        return 0;
    }
    int wait = waitsMs_.empty() ? 0
                                : waitsMs_[std::min<std::size_t>(static_cast<std::size_t>(stalled_),
                                                                 waitsMs_.size() - 1)];
    ++stalled_;
    ++tries_;
    return wait;
}

std::string ResumePlan::IfRangeValue() const {
    // A weak ETag may not be sent in If-Range (RFC 9110 13.1.5).
    if (!first_.etag.empty() && first_.etag.rfind("W/", 0) != 0)
        return first_.etag;
    return first_.lastModified;
}

bool ResumePlan::SameValidators(const FileIdentity& answer) const {
    return answer.etag == first_.etag && answer.lastModified == first_.lastModified;
}

ResumeStep ResumePlan::JudgeHttp(int status, const std::optional<ContentRange>& range,
                                 const FileIdentity& answer, std::int64_t have) const {
    if (status == kOk)
        return ResumeStep::TakeWhole;
    if (status == kRangeNotSatisfiable)
        return ResumeStep::AskAgainWhole;
    if (status != kPartialContent)
        return ResumeStep::Fail;
    // A 206 continues the file only where it ends, with the same total, and
    // with the validators of the first answer where the server sends them.
    if (!range || range->first != have || range->total != first_.total ||
        range->last != first_.total - 1)
        return ResumeStep::AskAgainWhole;
    if ((!answer.etag.empty() || !answer.lastModified.empty()) && !SameValidators(answer))
        return ResumeStep::AskAgainWhole;
    return ResumeStep::Append;
}

ResumeStep ResumePlan::JudgeFtpSize(std::int64_t size) const {
    return size >= 0 && size == first_.total ? ResumeStep::Append : ResumeStep::AskAgainWhole;
}

ResumeStep ResumePlan::JudgeRestReply(int code) {
    return code == kRestAccepted ? ResumeStep::Append : ResumeStep::AskAgainWhole;
}

std::string ResumeStatusText(std::int64_t have, std::int64_t total, int tryNumber, int tries) {
    // Both in the total's unit: "12.3 of 50.0 MB".
    std::string done = ReadableShare(have, total);
    return formatText("Connection lost at %s; resuming (try %d of %d)...", done.c_str(), tryNumber,
                      tries);
}

}  // namespace orvane
