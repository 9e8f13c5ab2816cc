#include "quicklook/seed_reader.h"

#include <libmseed.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace orvane::quicklook {

namespace {

// A record header is 48 bytes; MS_ISVALIDHEADER and ms_detect read that far.
constexpr size_t kHeaderBytes = 48;
constexpr size_t kReadChunk = 1 << 20;
constexpr size_t kLookahead = MAXRECLEN + kHeaderBytes;
// libmseed reads a few bytes past the length it is given when a record's
// blockette chain points at its end (ms_detect does, on damaged records):
// zeros after the input keep those reads inside the buffer and the same
// whatever the input's pieces were.
constexpr size_t kPadding = 65536 + 64;
// Sample rates that SEED channels have (a sample a day to megahertz), with
// room either side; others are damage, and would run times past any range.
constexpr double kSlowestRate = 1e-7;
constexpr double kFastestRate = 1e7;

// libmseed prints its complaints itself; the reader reports them its own
// way, per file and grouped.
void quiet(char*) {}

void silenceLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { ms_loginit(quiet, nullptr, quiet, nullptr); });
}

template <typename Sample>
SampleView samplesOf(const MSRecord& record) {
    return std::span<const Sample>(static_cast<const Sample*>(record.datasamples),
                                   static_cast<size_t>(record.numsamples));
}

// A record whose header claims more than it holds ends where the next
// record's header stands (records start at multiples of 128 bytes).
// Only the `available` bytes at hand are looked at.
int nextHeaderWithin(const char* record, int length, size_t available) {
    size_t end = std::min(static_cast<size_t>(length), available);
    for (size_t offset = MINRECLEN; offset + kHeaderBytes <= end; offset += MINRECLEN)
        if (MS_ISVALIDHEADER(record + offset))
            return static_cast<int>(offset);
    return length;
}

// libmseed's words for its error codes; it has none for some.
std::string decodeError(int result) {
    if (result > 0)
        return "cut short";
    const char* words = ms_errorstr(result);
    return words ? words : "error " + std::to_string(result);
}

// Bytes of one sample in the encodings that have a fixed size; 0 for the
// compressed ones, whose decoders stop at the record's end themselves.
int bytesPerSample(int encoding) {
    switch (encoding) {
        case DE_ASCII:
            return 1;
        case DE_INT16:
        case DE_GEOSCOPE163:
        case DE_GEOSCOPE164:
        case DE_CDSN:
        case DE_SRO:
        case DE_DWWSSN:
            return 2;
        case DE_GEOSCOPE24:
            return 3;
        case DE_INT32:
        case DE_FLOAT32:
            return 4;
        case DE_FLOAT64:
            return 8;
        default:
            return 0;
    }
}

// Whether the samples the header announces lie inside the record.
bool samplesFit(const MSRecord& record, int length) {
    if (record.samplecnt <= 0)
        return true;
    if (!record.fsdh)
        return false;
    int64_t dataOffset = record.fsdh->data_offset;
    if (dataOffset < static_cast<int64_t>(kHeaderBytes) || dataOffset > length)
        return false;
    return dataOffset + record.samplecnt * bytesPerSample(record.encoding) <= length;
}

}  // namespace

void SeedReader::RecordDeleter::operator()(MSRecord_s* record) const {
    msr_free(&record);
}

SeedReader::SeedReader(TraceSet& into) : into_(into) {
    silenceLibrary();
}

SeedReader::~SeedReader() = default;

void SeedReader::feed(const char* bytes, size_t count) {
    // The new bytes go where the padding began; the padding follows them.
    pending_.resize(held_ + count + kPadding, 0);
    std::memcpy(pending_.data() + held_, bytes, count);
    held_ += count;
    parseAvailable(false);
}

ReadReport SeedReader::finish() {
    parseAvailable(true);
    for (const auto& [kind, count] : troubles_)
        report_.problems.push_back(kind + ": " + std::to_string(count));
    return std::move(report_);
}

void SeedReader::noteTrouble(const std::string& what) {
    for (auto& [kind, count] : troubles_)
        if (kind == what) {
            ++count;
            return;
        }
    troubles_.emplace_back(what, 1);
}

void SeedReader::parseAvailable(bool atEnd) {
    while (consumed_ < held_) {
        size_t taken = step(consumed_, atEnd);
        if (taken == 0)
            break;
        consumed_ += taken;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(consumed_));
    held_ -= consumed_;
    consumed_ = 0;
}

size_t SeedReader::step(size_t offset, bool atEnd) {
    size_t available = held_ - offset;
    const char* at = pending_.data() + offset;
    if (available < kHeaderBytes) {
        if (!atEnd)
            return 0;
        report_.otherBytes += available;
        return available;
    }
    if (!MS_ISVALIDHEADER(at)) {
        ++report_.otherBytes;
        return 1;
    }
    // A record's length is decided with as much ahead of it as the longest
    // record could need, so that it does not depend on how the input came
    // in pieces.
    if (!atEnd && available < kLookahead)
        return 0;
    int searched = static_cast<int>(std::min(available, kLookahead));
    int length = ms_detect(at, searched);
    if (length == 0 && atEnd)
        length = searched;  // no blockette 1000 and nothing after it: it runs to the end
    if (length < MINRECLEN || length > MAXRECLEN) {
        noteTrouble(length == 0 ? "records of unknown length, skipped"
                                : "record headers with an impossible length");
        ++report_.otherBytes;
        return 1;
    }
    length = std::min(length, nextHeaderWithin(at, length, available));
    if (static_cast<size_t>(length) > available) {
        report_.problems.push_back("the last record is cut: " + std::to_string(available) +
                                   " of its " + std::to_string(length) + " bytes are there");
        return available;
    }
    return takeRecord(offset, length);
}

size_t SeedReader::takeRecord(size_t offset, int length) {
    char* bytes = pending_.data() + offset;
    MSRecord* record = record_.release();
    // The header first: libmseed decodes fixed-size samples without
    // looking whether the record holds as many as its header says.
    int result = msr_parse(bytes, length, &record, length, 0, 0);
    if (result == MS_NOERROR && record && !samplesFit(*record, length)) {
        record_.reset(record);
        noteTrouble("records whose samples do not fit in them");
        return static_cast<size_t>(length);
    }
    if (result == MS_NOERROR)
        result = msr_parse(bytes, length, &record, length, 1, 0);
    record_.reset(record);
    if (result != MS_NOERROR || !record) {
        noteTrouble("records that could not be decoded (" + decodeError(result) + ")");
        return static_cast<size_t>(length);
    }
    ++report_.dataRecords;
    if (record->numsamples <= 0 || !record->datasamples) {
        noteTrouble("records without samples");
        return static_cast<size_t>(length);
    }
    if (!(record->samprate >= kSlowestRate && record->samprate <= kFastestRate)) {
        noteTrouble("records without a usable sample rate");
        return static_cast<size_t>(length);
    }
    RecordSamples samples{
        channelId(record->network, record->station, record->location, record->channel),
        record->starttime,
        record->samprate,
        {}};
    switch (record->sampletype) {
        case 'i':
            samples.samples = samplesOf<int32_t>(*record);
            break;
        case 'f':
            samples.samples = samplesOf<float>(*record);
            break;
        case 'd':
            samples.samples = samplesOf<double>(*record);
            break;
        default:
            noteTrouble("records of text, not samples");
            return static_cast<size_t>(length);
    }
    into_.add(samples);
    return static_cast<size_t>(length);
}

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

FileReport readOneFile(const std::string& path, TraceSet& into) {
    FileReport report{path, 0, {}, {}};
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        report.error = std::strerror(errno);
        return report;
    }
    SeedReader reader(into);
    std::vector<char> chunk(kReadChunk);
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
        report.size += got;
        reader.feed(chunk.data(), got);
    }
    if (std::ferror(file.get()))
        report.error = std::strerror(errno);
    report.read = reader.finish();
    return report;
}

}  // namespace

Loaded loadFiles(const std::vector<std::string>& paths) {
    Loaded loaded;
    for (const auto& path : paths)
        loaded.files.push_back(readOneFile(path, loaded.traces));
    loaded.traces.finish();
    return loaded;
}

}  // namespace orvane::quicklook
