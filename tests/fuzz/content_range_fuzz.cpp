// The Content-Range reader of resumed downloads, fed with arbitrary field
// values. What it accepts is a well-formed range (first <= last < total)
// that reads back the same when written again; and the resume judgement of
// a 206 with it appends only where the partial file ends and for the total
// of the first answer.
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "transfer/resume_plan.h"

namespace {

using orvane::fuzz::require;

void CheckJudgement(const orvane::ContentRange& range) {
    orvane::ResumePlan plan(3);
    plan.Remember({"\"v1\"", "", range.total});
    auto step = plan.JudgeHttp(206, range, {"\"v1\"", "", range.total}, range.first);
    bool continues = range.total >= 0 && range.last == range.total - 1;
    require((step == orvane::ResumeStep::Append) == continues, "a 206 appends only to its end");
    if (range.first > 0) {
        auto elsewhere = plan.JudgeHttp(206, range, {"\"v1\"", "", range.total}, range.first - 1);
        require(elsewhere == orvane::ResumeStep::AskAgainWhole, "a range elsewhere is refused");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view field(reinterpret_cast<const char*>(data), size);
    auto range = orvane::ParseContentRange(field);
    if (!range)
        return 0;
    require(range->first >= 0 && range->first <= range->last, "first <= last");
    require(range->total == -1 || range->last < range->total, "last < total");
    std::string again = "bytes " + std::to_string(range->first) + "-" +
                        std::to_string(range->last) + "/" +
                        (range->total < 0 ? std::string("*") : std::to_string(range->total));
    auto reread = orvane::ParseContentRange(again);
    require(reread && reread->first == range->first && reread->last == range->last &&
                reread->total == range->total,
            "reads back the same");
    CheckJudgement(*range);
    return 0;
}
