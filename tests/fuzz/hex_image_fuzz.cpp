// The Intel HEX reader under both programs' settings: any file must load or
// be refused with the reader's own messages, and nothing may be stored where
// the settings forbid it (the bootloader's area, past the used part of the
// image).
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "loaders/common/hex_image.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/testkit/memory_console.h"

namespace {

using orvane::HexImage;
using orvane::HexImageSettings;
using orvane::fuzz::require;

constexpr std::uint32_t kDspic4013Size = 0x7E00;
constexpr std::uint32_t kDspic3014Size = 0x3E00;
constexpr std::size_t kBoardLoaderArea = 0x200;
constexpr std::int32_t kBoardMargin = 512;

// Compared as memory, so the check does not cost a traced comparison per byte.
bool allErased(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
    static const std::vector<std::uint8_t> erased(HexImageSettings::dspic().capacity, 0xFF);
    return to <= from || std::memcmp(bytes.data() + from, erased.data(), to - from) == 0;
}

bool onlyReaderMessages(const std::string& text) {
    return orvane::fuzz::onlyMessages(text, {"Bad record in line ", "Checksum error ",
                                             "Warning address 0x", "Memory load error"});
}

struct Outcome {
    bool loaded;
    std::string printed;
};

Outcome load(HexImage& image, orvane::testkit::MemoryConsole& console, const std::string& path) {
    console.clear();
    bool loaded = image.loadHexFile(path);
    require(console.errors().empty(), "the reader writes nothing to stderr");
    require(onlyReaderMessages(console.text()), "only the reader's own messages");
    return {loaded, console.text()};
}

// boot: nothing below the loader area, nothing at or past 0x8000.
void checkBoard(const std::string& path, const std::string& upperPath) {
    static orvane::testkit::MemoryConsole console;
    static HexImage image(HexImageSettings::board(), console);
    Outcome first = load(image, console, path);
    require(allErased(image.data, 0, kBoardLoaderArea), "boot never stores in its loader area");
    if (first.loaded) {
        require(image.endAddress <= 0x8000 + kBoardMargin, "a loaded image ends inside memory");
        require(image.startAddress == HexImage::kNoStart ||
                    image.startAddress >= static_cast<std::int32_t>(kBoardLoaderArea),
                "a loaded image starts above the loader area");
    }
    // Lower-case digits read like upper-case ones: the folded file loads alike.
    std::vector<std::uint8_t> loadedBytes = image.data;
    std::int32_t start = image.startAddress, end = image.endAddress;
    Outcome folded = load(image, console, upperPath);
    require(folded.loaded == first.loaded && folded.printed == first.printed,
            "case does not change the outcome");
    require(image.data == loadedBytes && image.startAddress == start && image.endAddress == end,
            "case does not change the image");
}

// Kestrel: nothing past twice the application size, the used part.
void checkDspic(const std::string& path, std::uint32_t applicationSize) {
    static orvane::testkit::MemoryConsole console;
    static HexImage image(HexImageSettings::dspic(), console);
    image.setApplicationSize(applicationSize);
    Outcome outcome = load(image, console, path);
    const std::size_t used = 2 * std::size_t{applicationSize};
    require(allErased(image.data, used, image.data.size()), "nothing stored past the used part");
    if (outcome.loaded)
        require(image.endAddress <= static_cast<std::int32_t>(used),
                "a loaded image ends inside the used part");
    // The next run may use a smaller part: it starts from an erased image.
    std::memset(image.data.data(), 0xFF, image.data.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orvane::fuzz::MemoryFile file;
    static orvane::fuzz::MemoryFile upperFile;
    std::string text(reinterpret_cast<const char*>(data), size);
    file.replace(text);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    upperFile.replace(text);
    checkBoard(file.path(), upperFile.path());
    checkDspic(file.path(), kDspic4013Size);
    checkDspic(file.path(), kDspic3014Size);
    return 0;
}
