#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// One open serial device. Reads never block; waiting is done by the caller
// with waitForInput, so a simulated board can run on a virtual clock.
class SerialPort {
  public:
    virtual ~SerialPort() = default;
    // Speed plus raw 8N1 without flow control. False when the device refuses.
    virtual bool configure(int baud) = 0;
    // Asserts or clears DTR. Devices without modem lines ignore it.
    virtual void setDtr(bool asserted) = 0;
    virtual std::size_t bytesWaiting() = 0;
    virtual std::size_t read(std::uint8_t* dest, std::size_t max) = 0;
    // Returns how many bytes went out before timeoutMs passed.
    virtual std::size_t write(const std::uint8_t* src, std::size_t count, int timeoutMs) = 0;
    // Drops everything queued in both directions.
    virtual void purge() = 0;
    // Before closing: lets every written byte leave the line (the last frame
    // a loader sends must reach the board), then drops what was received.
    virtual void drainForClose() { purge(); }
    // Waits at most timeoutMs for a byte to be waiting; true when one is.
    virtual bool waitForInput(int timeoutMs) = 0;
    // True once the device has gone away (an unplugged adapter).
    virtual bool disconnected() const { return false; }
};

struct PortOpenResult {
    std::unique_ptr<SerialPort> port;
    std::string error;  // device and cause, when port is null
};

// Turns the COM numbers of the command lines into open devices and lists the
// known COM names for the USB-serial adapter search.
class PortDirectory {
  public:
    virtual ~PortDirectory() = default;
    virtual PortOpenResult open(int portNumber) = 0;
    // Every COM name known, such as "COM3"; nullopt when the list cannot be read.
    virtual std::optional<std::vector<std::string>> listPortNames() = 0;
    // Whether the named port is a USB-serial (or CDC-ACM) adapter.
    virtual bool isUsbSerialAdapter(const std::string& portName) = 0;
    // One line telling the user which device a COM number stands for
    // ("COM33 is /dev/ttyUSB0"); empty when nothing can be said.
    virtual std::string describePort(int /*portNumber*/) { return {}; }
    // Makes a COM number stand for a device named by its path (-p /dev/ttyUSB0);
    // false where devices cannot be named that way.
    virtual bool assignDevicePath(int /*portNumber*/, const std::string& /*path*/) { return false; }
};

}  // namespace orvane
