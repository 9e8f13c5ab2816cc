#include "quicklook/seed_writer.h"

#include <libmseed.h>

#include <cstring>
#include <memory>

namespace orvane::quicklook {

namespace {

void collect(char* record, int length, void* into) {
    static_cast<std::string*>(into)->append(record, static_cast<size_t>(length));
}

void copyCode(char (&to)[11], const std::string& from) {
    std::strncpy(to, from.c_str(), sizeof to - 1);
    to[sizeof to - 1] = '\0';
}

struct RecordFree {
    void operator()(MSRecord* record) const {
        record->datasamples = nullptr;  // the request's, not libmseed's
        msr_free(&record);
    }
};

char sampleTypeOf(const SampleBuffer& samples) {
    return samples.index() == 0 ? 'i' : samples.index() == 1 ? 'f' : 'd';
}

}  // namespace

std::string packRecords(const PackRequest& request) {
    std::unique_ptr<MSRecord, RecordFree> record(msr_init(nullptr));
    copyCode(record->network, request.network);
    copyCode(record->station, request.station);
    copyCode(record->location, request.location);
    copyCode(record->channel, request.channel);
    record->dataquality = 'D';
    record->starttime = request.start;
    record->samprate = request.sampleRate;
    record->encoding = static_cast<int8_t>(request.encoding);
    record->reclen = request.recordLength;
    record->byteorder = 1;
    SampleBuffer samples = request.samples;  // libmseed's packers may work in place
    std::visit(
        [&record](auto& values) {
            record->datasamples = values.data();
            record->numsamples = static_cast<int64_t>(values.size());
        },
        samples);
    record->sampletype = sampleTypeOf(samples);
    std::string out;
    int64_t packed = 0;
    if (msr_pack(record.get(), collect, &out, &packed, 1, 0) < 0)
        return {};
    return out;
}

}  // namespace orvane::quicklook
