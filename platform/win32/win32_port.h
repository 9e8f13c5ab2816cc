#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/serial_port.h"
#include "platform/win32/unique_handle.h"

namespace orvane {

// A COM port driven through the Win32 communications calls: 8N1 without
// flow control, DTR and RTS cleared, opened for exclusive use, synchronous.
class Win32Port final : public SerialPort {
  public:
    // Opens the device ("COM3", "\\.\COM12"); on failure the result says what
    // Windows said, naming the port and the device name.
    static PortOpenResult openDevice(const std::string& deviceName, const std::string& label);
    // Made only by openDevice (the key is private), on the port it opened.
    struct OpenedKey {
      private:
        friend class Win32Port;
        OpenedKey() = default;
    };
    Win32Port(OpenedKey, UniqueHandle handle) : handle_(std::move(handle)) {}

    bool configure(int baud) override;
    void setDtr(bool asserted) override;
    std::size_t bytesWaiting() override;
    std::size_t read(std::uint8_t* dest, std::size_t max) override;
    std::size_t write(const std::uint8_t* src, std::size_t count, int timeoutMs) override;
    void purge() override;
    bool waitForInput(int timeoutMs) override;
    bool disconnected() const override { return lost_; }

  private:
    void applyTimeouts(const COMMTIMEOUTS& timeouts);
    // Waits (bounded) until the written bytes have left; false if they have not.
    bool drainTransmitQueue();
    // ClearCommError: the queue counts, or nullopt once the device has gone.
    std::optional<COMSTAT> status();
    // Waits out a poll interval on a device that has gone away.
    void idle(int ms);

    UniqueHandle handle_;
    std::optional<COMMTIMEOUTS> applied_;  // as last given to SetCommTimeouts
    std::optional<std::uint8_t> held_;     // taken by a wait, not yet read
    bool lost_ = false;
};

// The machine's COM ports by number.
class Win32PortDirectory final : public PortDirectory {
  public:
    PortOpenResult open(int portNumber) override;
    std::optional<std::vector<std::string>> listPortNames() override;
    bool isUsbSerialAdapter(const std::string& portName) override;
};

// "COM%d" for COM1 to COM9, "\\.\COM%d" for every other number: Windows
// takes the short form only below 10, the long form for any number.
std::string ComDeviceName(int portNumber);

}  // namespace orvane
