#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/serial_port.h"

namespace orvane {

// The timings that differ between the two loader programs.
struct LinkProfile {
    int linkBaud;       // speed PulseReset opens the remembered port at
    int pulseMs;        // DTR asserted this long by PulseReset
    int pulseSettleMs;  // pause after DTR is cleared again
};

inline constexpr LinkProfile kKestrelLink{57600, 1000, 0};
inline constexpr LinkProfile kBootLink{19200, 250, 250};

// The one serial port of a loader program: open, close, purge, send, receive
// with or without waiting, and reset the board by a pulse on DTR.
class SerialLink {
  public:
    static constexpr std::size_t kTransmitSize = 256;
    static constexpr std::size_t kReadAheadSize = 1024;
    static constexpr std::size_t kRespBufferSize = 10000;
    static constexpr int kWriteTimeoutMs = 5000;

    SerialLink(PortDirectory& ports, Clock& clock, Console& console, LinkProfile profile);
    virtual ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    bool OpenPort(int portNumber, int baud);
    // 1 after closing an open port; -1 (the closed-handle value) otherwise.
    int ClosePort();
    bool IsOpen() const { return port_ != nullptr; }
    void PurgePort();
    // Takes everything off the receive side until the line has been quiet
    // for a moment, so the unread rest of a refused reply is not read as
    // the start of the next one.
    void DiscardInput();
    bool WriteByte(std::uint8_t byte);
    bool WriteBuffer(std::size_t count);
    bool ReadByteWait(std::uint8_t& byte);
    bool GetResp(std::uint8_t& byte);
    bool ReadByteNow(std::uint8_t& byte);
    void PulseReset();
    void ResetWithNotice();
    bool FindUsbSerialPort();
    // Says on standard error which device a COM number stands for: the
    // first thing to check when a board does not answer.
    void NamePortDevice(int number);

    // The remembered port number that PulseReset opens when it has to.
    int portNumber = 1;
    // Running sum of every byte given to WriteByte, modulo 65536.
    std::uint16_t sendSum = 0;
    std::array<std::uint8_t, kTransmitSize> transmit{};

  protected:
    Clock& clock() { return clock_; }
    Console& console() { return console_; }
    // Writes raw bytes outside the transmit buffer (boot's application command).
    bool writeRaw(const std::uint8_t* bytes, std::size_t count);
    // Waits at most ms for a received byte, returning early when one arrives;
    // on a closed link it just sleeps.
    void waitForInput(int ms);

  private:
    void noticeDisconnect();

    PortDirectory& ports_;
    Clock& clock_;
    Console& console_;
    LinkProfile profile_;
    std::unique_ptr<SerialPort> port_;
    int openedPort_ = 0;
    bool disconnectReported_ = false;
    std::array<std::uint8_t, kReadAheadSize> readAhead_{};
    std::size_t readPosition_ = 0;
    std::size_t readCount_ = 0;
};

}  // namespace orvane
