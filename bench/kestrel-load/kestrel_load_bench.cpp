// Loads the whole dsPIC30F4013 application area (504 rows) through dspic-sim
// emulating the 57600-baud line and 2 ms of programming per row, and sets the
// wall time beside the least the line, the board and the fixed waits allow.
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/console.h"
#include "tools/dspic_sim/sim_process.h"

namespace {

using orvane::formatText;

constexpr int kBaud = 57600;
constexpr int kBitsPerByte = 10;
constexpr int kRowProgramMs = 2;
// The HEX data ends where a 16-byte record at program address P - 24 ends:
// 0xFBE0, the last image end that still fits (504 rows).
constexpr unsigned kImageEnd = 0xFBE0;
// Waits the run always makes: the noticed reset (1000 + 1000 ms), the first
// probe's pulse and pause (1000 + 1000 ms), the probe answer's 50 ms poll,
// the closing pulse (1000 ms) and the final noticed reset (1000 + 1000 ms).
constexpr double kFixedWaitSeconds = 7.05;

std::string record(unsigned address, const unsigned char* bytes, unsigned count) {
    unsigned sum = count + (address >> 8) + (address & 0xFF);
    std::string line = formatText(":%02X%04X00", count, address);
    for (unsigned i = 0; i < count; ++i) {
        line += formatText("%02X", bytes[i]);
        sum += bytes[i];
    }
    return line + formatText("%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
}

std::string firmwareText() {
    std::string text;
    unsigned seed = 12345;
    for (unsigned address = 0; address < kImageEnd; address += 16) {
        unsigned char bytes[16];
        for (unsigned i = 0; i < 16; ++i) {
            seed = seed * 1103515245 + 12345;
            bytes[i] = i % 4 == 3 ? 0 : static_cast<unsigned char>(seed >> 16);
        }
        text += record(address, bytes, 16);
    }
    return text + ":00000001FF\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrel-load-bench BIN_DIR\n");
        return 2;
    }
    std::string bin = argv[1];
    orvane::dspicsim::SimProcess sim(
        bin, {"--paced", "--row-ms", std::to_string(kRowProgramMs), "--max-seconds", "300"});
    std::string hex = sim.folder().file("bench.hex");
    std::ofstream(hex) << firmwareText();

    auto result = orvane::testkit::runProgram(
        {bin + "/kestrel", {hex}, {{"ORVANE_DOSDEVICES", sim.dosdevices()}}, 300, false});
    int simStatus = sim.stop();
    auto stats = sim.stats();
    if (result.exitStatus != 1 || simStatus != 0) {
        std::fprintf(stderr, "load failed: kestrel %d, dspic-sim %d\n%s%s", result.exitStatus,
                     simStatus, result.standardOutput.c_str(), result.standardError.c_str());
        return 1;
    }
    std::uint64_t wireBytes = stats.bytesFromHost + stats.bytesToHost;
    double wire = static_cast<double>(wireBytes) * kBitsPerByte / kBaud;
    double programming = stats.rowsProgrammed * kRowProgramMs / 1000.0;
    double floor = wire + kFixedWaitSeconds + programming;
    double over = (result.seconds / floor - 1) * 100;
    std::printf("rows written and read back: %d\n", stats.rowsProgrammed);
    std::printf("bytes on the wire:          %llu (host->board %llu, board->host %llu)\n",
                static_cast<unsigned long long>(wireBytes),
                static_cast<unsigned long long>(stats.bytesFromHost),
                static_cast<unsigned long long>(stats.bytesToHost));
    std::printf(
        "floor:                      %.3f s = wire %.3f s + fixed waits %.3f s + "
        "programming %.3f s\n",
        floor, wire, kFixedWaitSeconds, programming);
    std::printf("wall time:                  %.3f s (%+.1f%% over the floor; target <= 10%%: %s)\n",
                result.seconds, over, over <= 10 ? "met" : "MISSED");
    return 0;
}
