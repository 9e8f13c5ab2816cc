#include "loaders/kestrel/dspic_loader.h"

#include <algorithm>

namespace orvane {

namespace {

constexpr int kProbeAttempts = 10;
constexpr int kAfterResetMs = 1000;
constexpr int kBetweenProbesMs = 100;
constexpr int kDeviceIdWords = 4;

struct DeviceEntry {
    std::uint32_t id;
    const char* cpuName;
    std::uint32_t loaderStart;  // also the boot-area start and application size
};

constexpr DeviceEntry kDevices[] = {
    {320, "dsPIC30F4013", 0x7E00},
    {321, "dsPIC30F4013", 0x7E00},
    {352, "dsPIC30F3014", 0x3E00},
};

const DeviceEntry* findDevice(std::uint32_t id) {
    for (const auto& entry : kDevices)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

}  // namespace

DspicLoader::DspicLoader(PortDirectory& ports, Clock& clock, Console& console)
    : SerialLink(ports, clock, console, kKestrelLink), image_(HexImageSettings::dspic(), console) {}

bool DspicLoader::FindBootloader(bool resetFirst) {
    for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
        if (resetFirst)
            PulseReset();
        clock().sleepMs(kAfterResetMs);
        PurgePort();
        WriteByte(PROBE_BYTE);
        std::uint8_t answer = 0;
        // Any non-zero byte is the bootloader; its value means nothing more.
        if (GetResp(answer))
            return true;
        console().print("sts=%d\n", 0);
        clock().sleepMs(kBetweenProbesMs);
    }
    return false;
}

bool DspicLoader::GetLoaderID() {
    WriteByte(CMD_LOADER_ID);
    std::uint8_t major = 0, minor = 0, ack = 0;
    if (!ReadByteWait(major) || !ReadByteWait(minor) || !ReadByteWait(ack))
        return false;
    if (ack != ACK_BYTE) {
        console().print("GetLoaderID Bad ACK\n");
        return false;
    }
    if (major == 1 && (minor == 1 || minor == 2))
        return true;
    console().print("GetLoaderID Bad Ver: %d.%d\n", major, minor);
    return false;
}

bool DspicLoader::ReadDeviceID() {
    readCursor_ = 0;
    if (!ReadBlock(kDeviceIdAddress, kDeviceIdWords))
        return false;
    const auto& back = image_.readBack;
    deviceId_ = back[0] | (std::uint32_t{back[1]} << 8) | (std::uint32_t{back[2]} << 16);
    return true;
}

bool DspicLoader::SelectDevice() {
    const DeviceEntry* device = findDevice(deviceId_);
    if (!device) {
        console().print("Unknown Device ID %d (0x%x)\n", deviceId_, deviceId_);
        return false;
    }
    cpuName_ = device->cpuName;
    bootAreaStart_ = device->loaderStart;
    applicationSize_ = device->loaderStart;
    image_.setApplicationSize(applicationSize_);
    return true;
}

void DspicLoader::sendAddress(std::uint32_t address) {
    WriteByte(static_cast<std::uint8_t>(address >> 16));
    WriteByte(static_cast<std::uint8_t>(address >> 8));
    WriteByte(static_cast<std::uint8_t>(address));
}

bool DspicLoader::ReadBlock(std::uint32_t address, int words) {
    auto& back = image_.readBack;
    // The reply is stored word by word; a cursor run past the image would
    // write outside it, so such a read is never started.
    if (words < 1 || readCursor_ + 4 * static_cast<std::size_t>(words) > back.size())
        return false;
    if (address != kDeviceIdAddress)
        console().print("Read Memory Address: 0x%04x\r", address);
    WriteByte(CMD_READ);
    WriteByte(static_cast<std::uint8_t>(words));
    sendAddress(address);
    std::uint8_t sum = 0;
    for (int word = 0; word < words; ++word) {
        std::uint8_t high = 0, middle = 0, low = 0;
        if (!ReadByteWait(high) || !ReadByteWait(middle) || !ReadByteWait(low))
            return false;
        sum = static_cast<std::uint8_t>(sum + high + middle + low);
        back[readCursor_++] = low;
        back[readCursor_++] = middle;
        back[readCursor_++] = high;
        back[readCursor_++] = 0x00;
    }
    std::uint8_t checksum = 0, ack = 0;
    if (!ReadByteWait(checksum))
        return false;
    if (checksum != sum) {
        console().print("Checksum Error=%x %x\n", sum, checksum);
        return false;
    }
    if (!ReadByteWait(ack))
        return false;
    if (ack != ACK_BYTE) {
        console().print("Ack Error=%x\n", ack);
        return false;
    }
    return true;
}

bool DspicLoader::WriteBlock(std::uint32_t address, int words) {
    auto& data = image_.data;
    if (words < 1 || writeCursor_ + 4 * static_cast<std::size_t>(words) > data.size())
        return false;
    console().print("Write Block Address: 0x%04x\r", address);
    WriteByte(CMD_WRITE);
    sendSum = 0;  // the checksum covers everything after the command byte
    sendAddress(address);
    WriteByte(static_cast<std::uint8_t>(4 * words + 1));
    for (int word = 0; word < words; ++word) {
        WriteByte(data[writeCursor_]);
        WriteByte(data[writeCursor_ + 1]);
        WriteByte(data[writeCursor_ + 2]);
        WriteByte(0x00);
        // The board keeps no phantom byte; clearing it here lets the image
        // compare equal to what is read back.
        data[writeCursor_ + 3] = 0x00;
        writeCursor_ += 4;
    }
    WriteByte(static_cast<std::uint8_t>(0x100 - (sendSum & 0xFF)));
    std::uint8_t accepted = 0;
    if (!ReadByteWait(accepted)) {
        console().print("Bad Write Acc timeout\n");
        return false;
    }
    return true;
}

std::uint8_t DspicLoader::resetVectorMiddleByte() const {
    const DeviceEntry* device = findDevice(deviceId_);
    return device && device->loaderStart == 0x3E00 ? 0x3E : 0x7E;
}

int DspicLoader::rowCount() const {
    return (std::max(image_.endAddress, 0) + kImageBytesPerRow) / kImageBytesPerRow;
}

bool DspicLoader::WriteProgram() {
    auto& data = image_.data;
    // GOTO the loader start: the board always comes up in its bootloader,
    // which starts the application itself.
    data[0] = 0x00;
    data[1] = resetVectorMiddleByte();
    data[2] = 0x04;
    writeCursor_ = 0;
    for (int row = 0; row < rowCount(); ++row) {
        if (!WriteBlock(kRowAddressStep * static_cast<std::uint32_t>(row), kWordsPerRow)) {
            console().print("\nWrite Block Error!!!\n");
            return false;
        }
    }
    console().print("\n");
    return true;
}

bool DspicLoader::ReadProgram() {
    std::fill(image_.readBack.begin(), image_.readBack.end(), 0x00);
    readCursor_ = 0;
    for (int row = 0; row < rowCount(); ++row) {
        if (!ReadBlock(kRowAddressStep * static_cast<std::uint32_t>(row), kWordsPerRow)) {
            console().print("\nRead Memory Block Error\n");
            return false;
        }
    }
    console().print("\n");
    return true;
}

std::size_t DspicLoader::comparedBytes() const {
    auto end = static_cast<std::size_t>(std::max(image_.endAddress, 0));
    return std::min({end, image_.data.size(), image_.readBack.size()});
}

void DspicLoader::VerifyProgram() {
    auto end = image_.data.begin() + static_cast<std::ptrdiff_t>(comparedBytes());
    if (std::equal(image_.data.begin(), end, image_.readBack.begin()))
        return;
    console().print("!!!!!!!!!!!!!!!!! Flash Read/Write Error !!!!!!!!!!\n");
    DumpDifferences();
}

void DspicLoader::DumpDifferences() {
    for (std::size_t i = 0; i < comparedBytes(); ++i) {
        if (image_.data[i] == image_.readBack[i])
            continue;
        console().print("%04zx: w:%02x r:%02x\n", i, image_.data[i], image_.readBack[i]);
    }
}

}  // namespace orvane
