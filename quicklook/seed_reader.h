#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "quicklook/trace_set.h"

struct MSRecord_s;

namespace orvane::quicklook {

// What reading one input gave besides its samples.
struct ReadReport {
    size_t dataRecords = 0;
    // Bytes that were neither a data record nor in one: SEED volume header
    // records, blank records, anything else.
    size_t otherBytes = 0;
    // One line for each kind of trouble, e.g. "2 records could not be
    // decoded (Steim-2 ...)" or "the last record is cut (...)".
    std::vector<std::string> problems;
};

// Reads miniSEED records and the data records of full SEED volumes from
// bytes fed in pieces of any size, into a trace set. Everything else (the
// volume's control headers, blank records, damage) is stepped over byte by
// byte to the next record header, so damage costs only what it spoils.
class SeedReader {
  public:
    explicit SeedReader(TraceSet& into);
    ~SeedReader();
    SeedReader(const SeedReader&) = delete;
    SeedReader& operator=(const SeedReader&) = delete;

    void feed(const char* bytes, size_t count);
    // The end of the input: what is left is a cut record or other bytes.
    ReadReport finish();

  private:
    void parseAvailable(bool atEnd);
    // One step at `offset`: the bytes taken, or 0 when more input is needed.
    size_t step(size_t offset, bool atEnd);
    size_t takeRecord(size_t offset, int length);
    void noteTrouble(const std::string& what);

    struct RecordDeleter {
        void operator()(MSRecord_s* record) const;
    };
    TraceSet& into_;
    std::unique_ptr<MSRecord_s, RecordDeleter> record_;
    // The input not read yet, then zero padding.
    std::vector<char> pending_;
    size_t held_ = 0;      // bytes of input in pending_
    size_t consumed_ = 0;  // bytes at its front already read
    ReadReport report_;
    std::vector<std::pair<std::string, size_t>> troubles_;  // kind, count
};

// One file read: its name and size, and what reading it gave.
struct FileReport {
    std::string path;
    uintmax_t size = 0;
    // Set when the file could not be read at all (missing, unreadable).
    std::string error;
    ReadReport read;
};

// The files' traces together, each file's report beside them.
struct Loaded {
    TraceSet traces;
    std::vector<FileReport> files;
};
Loaded loadFiles(const std::vector<std::string>& paths);

}  // namespace orvane::quicklook
