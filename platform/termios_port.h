#pragma once

#include "platform/device_map.h"
#include "platform/serial_port.h"

namespace orvane {

// A serial device driven through termios: raw 8N1, no flow control, DTR and
// RTS cleared, opened for exclusive use.
class TermiosPort final : public SerialPort {
  public:
    // Opens the device; on failure the result holds the cause, naming the
    // device (and, for a permission error, the group that may open it).
    static PortOpenResult openDevice(const std::string& devicePath, const std::string& label);
    // Made only by openDevice (the key is private), on the device it opened.
    struct OpenedKey {
      private:
        friend class TermiosPort;
        OpenedKey() = default;
    };
    TermiosPort(OpenedKey, int fd, std::string label) : fd_(fd), label_(std::move(label)) {}
    ~TermiosPort() override;
    TermiosPort(const TermiosPort&) = delete;
    TermiosPort& operator=(const TermiosPort&) = delete;

    bool configure(int baud) override;
    void setDtr(bool asserted) override;
    std::size_t bytesWaiting() override;
    std::size_t read(std::uint8_t* dest, std::size_t max) override;
    std::size_t write(const std::uint8_t* src, std::size_t count, int timeoutMs) override;
    void purge() override;
    void drainForClose() override;
    bool waitForInput(int timeoutMs) override;
    bool disconnected() const override { return lost_; }

  private:
    void markLost();
    // Waits (bounded) until the driver has sent what was written; false
    // when the line did not drain in time.
    bool waitForOutputQueue();
    int fd_;
    std::string label_;
    bool lost_ = false;
};

// The machine's COM ports, through the device map.
class TermiosPortDirectory final : public PortDirectory {
  public:
    explicit TermiosPortDirectory(DeviceMap map) : map_(std::move(map)) {}
    PortOpenResult open(int portNumber) override;
    std::optional<std::vector<std::string>> listPortNames() override { return map_.portNames(); }
    bool isUsbSerialAdapter(const std::string& name) override {
        return map_.isUsbSerialAdapter(name);
    }
    // "COM5 is /dev/ttyUSB0", with the link it was reached through when the
    // mapping named one ("(through .../dosdevices/com5)").
    std::string describePort(int portNumber) override;
    bool assignDevicePath(int portNumber, const std::string& path) override {
        map_.assign(portNumber, path);
        return true;
    }

  private:
    DeviceMap map_;
};

}  // namespace orvane
