#include "platform/win32/win32_port.h"

#include <algorithm>
#include <chrono>

#include "platform/ascii_text.h"
#include "platform/system_ports.h"
#include "platform/win32/dos_devices.h"
#include "platform/win32/fine_timer.h"
#include "platform/win32/system_message.h"

namespace orvane {

namespace {

constexpr DWORD kReceiveQueueBytes = 32768;
constexpr DWORD kTransmitQueueBytes = 1024;
constexpr DWORD kWriteTimeoutMs = 5000;
constexpr int kDrainLimitMs = 1000;
constexpr DWORD kPurgeReceive = PURGE_RXABORT | PURGE_RXCLEAR;
constexpr DWORD kPurgeAll = kPurgeReceive | PURGE_TXABORT | PURGE_TXCLEAR;

// A read returns at once with whatever is queued.
constexpr COMMTIMEOUTS kReadAtOnce{MAXDWORD, 0, 0, 0, kWriteTimeoutMs};

// A read that returns as soon as one byte is there, or after waitMs with
// nothing: the one combination of read time-outs Windows gives this meaning.
COMMTIMEOUTS readFirstByteWithin(int waitMs) {
    return {MAXDWORD, MAXDWORD, static_cast<DWORD>(waitMs), 0, kWriteTimeoutMs};
}

bool sameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

std::string openFailure(const std::string& label, const std::string& deviceName, DWORD error) {
    std::string place = label + " (" + deviceName + ")";
    // An exclusive port that another program holds is refused this way.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        return place + " is in use by another program: " + SystemMessage(error);
    return "cannot open " + place + ": " + SystemMessage(error);
}

bool startsWithCom(const std::string& name) {
    return startsWithIgnoringCase(name, "COM");
}

}  // namespace

std::string ComDeviceName(int portNumber) {
    std::string number = std::to_string(portNumber);
    return portNumber >= 1 && portNumber <= 9 ? "COM" + number : "\\\\.\\COM" + number;
}

PortOpenResult Win32Port::openDevice(const std::string& deviceName, const std::string& label) {
    UniqueHandle handle(CreateFileA(deviceName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!handle.valid())
        return {nullptr, openFailure(label, deviceName, GetLastError())};
    return {std::make_unique<Win32Port>(OpenedKey(), std::move(handle)), {}};
}

bool Win32Port::configure(int baud) {
    // The results of the first three calls are not needed: a port that
    // refuses its settings is caught by SetCommState.
    SetupComm(handle_.get(), kReceiveQueueBytes, kTransmitQueueBytes);
    applied_.reset();
    applyTimeouts(kReadAtOnce);
    DCB settings{};
    settings.DCBlength = sizeof settings;
    GetCommState(handle_.get(), &settings);
    settings.BaudRate = static_cast<DWORD>(baud);
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = TRUE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDtrControl = DTR_CONTROL_DISABLE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fRtsControl = RTS_CONTROL_DISABLE;
    bool accepted = SetCommState(handle_.get(), &settings) != 0;
    EscapeCommFunction(handle_.get(), CLRDTR);
    return accepted;
}

void Win32Port::setDtr(bool asserted) {
    // A port without modem lines refuses; the reset pulse then does nothing.
    EscapeCommFunction(handle_.get(), asserted ? SETDTR : CLRDTR);
}

std::optional<COMSTAT> Win32Port::status() {
    COMSTAT queues{};
    DWORD errors = 0;
    if (lost_ || !ClearCommError(handle_.get(), &errors, &queues)) {
        lost_ = true;
        return std::nullopt;
    }
    return queues;
}

std::size_t Win32Port::bytesWaiting() {
    std::optional<COMSTAT> queues = status();
    std::size_t held = held_ ? 1 : 0;
    return queues ? held + queues->cbInQue : held;
}

std::size_t Win32Port::read(std::uint8_t* dest, std::size_t max) {
    std::size_t taken = 0;
    if (held_ && max > 0) {
        dest[taken++] = *held_;
        held_.reset();
    }
    if (taken == max || lost_)
        return taken;
    applyTimeouts(kReadAtOnce);
    DWORD got = 0;
    if (!ReadFile(handle_.get(), dest + taken, static_cast<DWORD>(max - taken), &got, nullptr)) {
        status();
        return taken;
    }
    return taken + got;
}

std::size_t Win32Port::write(const std::uint8_t* src, std::size_t count, int timeoutMs) {
    if (lost_)
        return 0;
    COMMTIMEOUTS timeouts = kReadAtOnce;
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(timeoutMs);
    applyTimeouts(timeouts);
    DWORD written = 0;
    if (!WriteFile(handle_.get(), src, static_cast<DWORD>(count), &written, nullptr))
        status();
    return written;
}

void Win32Port::purge() {
    // Once the transmit queue is empty there is nothing left to clear in it,
    // and clearing it anyway can still drop bytes on their way: a
    // pseudo-terminal under Wine discards what its other side has not read.
    PurgeComm(handle_.get(), drainTransmitQueue() ? kPurgeReceive : kPurgeAll);
    held_.reset();
}

bool Win32Port::drainTransmitQueue() {
    // Bytes already written were handed over by a completed write: let them
    // leave (the final reset frame before a close, say) before the queues
    // are emptied. Bounded, so a line that never drains cannot hang us.
    using namespace std::chrono;
    auto deadline = steady_clock::now() + milliseconds(kDrainLimitMs);
    UseFineTimerResolution();
    for (auto queues = status(); queues; queues = status()) {
        if (queues->cbOutQue == 0)
            return true;
        if (steady_clock::now() >= deadline)
            return false;
        Sleep(1);
    }
    return false;
}

bool Win32Port::waitForInput(int timeoutMs) {
    if (held_)
        return true;
    std::optional<COMSTAT> queues = status();
    if (!queues) {
        idle(timeoutMs);
        return false;
    }
    if (queues->cbInQue > 0)
        return true;
    if (timeoutMs <= 0)
        return false;
    UseFineTimerResolution();
    applyTimeouts(readFirstByteWithin(timeoutMs));
    std::uint8_t byte = 0;
    DWORD got = 0;
    if (!ReadFile(handle_.get(), &byte, 1, &got, nullptr)) {
        status();
        return false;
    }
    if (got == 1)
        held_ = byte;
    return got == 1;
}

void Win32Port::applyTimeouts(const COMMTIMEOUTS& timeouts) {
    if (applied_ && sameTimeouts(*applied_, timeouts))
        return;
    COMMTIMEOUTS copy = timeouts;
    SetCommTimeouts(handle_.get(), &copy);
    applied_ = timeouts;
}

void Win32Port::idle(int ms) {
    if (ms <= 0)
        return;
    UseFineTimerResolution();
    Sleep(static_cast<DWORD>(ms));
}

PortOpenResult Win32PortDirectory::open(int portNumber) {
    return Win32Port::openDevice(ComDeviceName(portNumber), "COM" + std::to_string(portNumber));
}

std::optional<std::vector<std::string>> Win32PortDirectory::listPortNames() {
    // A 64-bit program runs only on the NT family, where QueryDosDevice
    // lists every device name; there is no other family to rule out.
    std::optional<std::vector<std::string>> names = ListDosDeviceNames();
    if (!names)
        return std::nullopt;
    std::erase_if(*names, [](const std::string& name) { return !startsWithCom(name); });
    return names;
}

bool Win32PortDirectory::isUsbSerialAdapter(const std::string& portName) {
    std::optional<std::string> target = DosDeviceTarget(portName);
    return target && NamesUsbSerialDriver(*target);
}

std::unique_ptr<PortDirectory> MakeSystemPortDirectory() {
    return std::make_unique<Win32PortDirectory>();
}

}  // namespace orvane
