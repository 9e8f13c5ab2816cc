// orvane-synth-event OUT [--seconds N] [--network NET] [--station STA] [--start EPOCH]
//                        [--p SECONDS] [--s SECONDS] [--magnitude M] [--seed N]
// Writes a made-up local event, three components at 100 Hz, as miniSEED.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tools/synthetic_event/synthetic_event.h"

namespace {

bool apply(orvane::quicklook::SyntheticEvent& event, const std::string& option, const char* value) {
    if (option == "--seconds")
        event.seconds = std::atof(value);
    else if (option == "--network")
        event.network = value;
    else if (option == "--station")
        event.station = value;
    else if (option == "--start")
        event.start = static_cast<int64_t>(std::atof(value) * 1e6);
    else if (option == "--p")
        event.pArrival = std::atof(value);
    else if (option == "--s")
        event.sArrival = std::atof(value);
    else if (option == "--magnitude")
        event.magnitude = std::atof(value);
    else if (option == "--seed")
        event.seed = static_cast<uint32_t>(std::atol(value));
    else
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    orvane::quicklook::SyntheticEvent event;
    bool good = argc >= 2 && (argc % 2) == 0;
    for (int i = 2; good && i + 1 < argc; i += 2)
        good = apply(event, argv[i], argv[i + 1]);
    if (!good || !(event.seconds > 0)) {
        std::fprintf(stderr,
                     "usage: orvane-synth-event OUT [--seconds N] [--network NET] [--station STA] "
                     "[--start EPOCH] [--p S] [--s S] [--magnitude M] [--seed N]\n");
        return 2;
    }
    std::string records = orvane::quicklook::eventRecords(event);
    std::ofstream out(argv[1], std::ios::binary);
    out << records;
    if (!out.flush()) {
        std::fprintf(stderr, "orvane-synth-event: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
