#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "tools/testkit/virtual_clock.h"

namespace orvane::testkit {

class SimPort;

// What the host did to one simulated line, across every open of it.
struct LineLog {
    struct Write {
        std::int64_t atMs;
        int baud;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::uint8_t> written;  // every byte the host wrote, in order
    std::vector<Write> writes;          // the same, one entry per write call
    std::vector<int> bauds;             // each speed the host configured
    std::vector<std::pair<std::int64_t, bool>> dtrChanges;
    int purges = 0;
    int closes = 0;          // closes, each after the written bytes had left
    bool unplugged = false;  // the device has gone away
};

// A board model behind a simulated port. It sees what the host does to the
// line and answers through SimPort::deliver.
class SimBoard {
  public:
    virtual ~SimBoard() = default;
    virtual void onConfigure(SimPort&, int /*baud*/) {}
    virtual void onDtr(SimPort&, bool /*asserted*/) {}
    virtual void onBytes(SimPort& port, const std::vector<std::uint8_t>& bytes) = 0;
};

// An in-process serial port on a virtual clock: bytes the board delivers
// become readable at the virtual time it names, and waits move the clock.
class SimPort final : public SerialPort {
  public:
    SimPort(VirtualClock& clock, SimBoard& board, LineLog& log)
        : clock_(clock), board_(board), log_(log) {}

    bool configure(int baud) override;
    void setDtr(bool asserted) override;
    std::size_t bytesWaiting() override;
    std::size_t read(std::uint8_t* dest, std::size_t max) override;
    std::size_t write(const std::uint8_t* src, std::size_t count, int timeoutMs) override;
    void purge() override;
    void drainForClose() override;
    bool waitForInput(int timeoutMs) override;
    bool disconnected() const override { return log_.unplugged; }

    // A driver refuses rates of no baud at all.
    static bool acceptsRate(int baud) { return baud > 0; }
    // Queues bytes for the host, readable delayMs from now.
    void deliver(const std::vector<std::uint8_t>& bytes, int delayMs = 0);
    void unplug() { log_.unplugged = true, incoming_.clear(); }

    VirtualClock& clock() { return clock_; }
    int baud() const { return baud_; }
    bool dtr() const { return dtr_; }
    LineLog& log() { return log_; }

  private:
    struct Timed {
        std::int64_t at;
        std::uint8_t byte;
    };
    VirtualClock& clock_;
    SimBoard& board_;
    LineLog& log_;
    std::deque<Timed> incoming_;
    int baud_ = 0;
    bool dtr_ = false;
};

// Hands out SimPorts for the COM numbers that have a board; others fail to open.
class SimPortDirectory final : public PortDirectory {
  public:
    explicit SimPortDirectory(VirtualClock& clock) : clock_(clock) {}
    void attach(int portNumber, SimBoard& board) { boards_[portNumber] = &board; }
    // A board reached by a device path (-p /dev/ttyUSB0) rather than a number.
    void attachDevice(const std::string& path, SimBoard& board) { devices_[path] = &board; }
    void setUsbAdapters(std::vector<std::string> names, std::vector<std::string> usb);

    PortOpenResult open(int portNumber) override;
    std::optional<std::vector<std::string>> listPortNames() override { return names_; }
    bool isUsbSerialAdapter(const std::string& name) override;
    bool assignDevicePath(int portNumber, const std::string& path) override;

    // What the host did on a COM number's line.
    LineLog& line(int portNumber) { return logs_[portNumber]; }
    // The device behind a COM number goes away: writes fail, nothing arrives.
    void unplug(int portNumber) { logs_[portNumber].unplugged = true; }
    int opens() const { return opens_; }
    // Every open asked for, also those refused: zero means no port was touched.
    int openAttempts() const { return openAttempts_; }
    const std::vector<int>& openedNumbers() const { return openedNumbers_; }

  private:
    VirtualClock& clock_;
    std::map<int, SimBoard*> boards_;
    std::map<std::string, SimBoard*> devices_;
    std::vector<std::string> names_;
    std::vector<std::string> usb_;
    std::map<int, LineLog> logs_;
    int opens_ = 0;
    int openAttempts_ = 0;
    std::vector<int> openedNumbers_;
};

}  // namespace orvane::testkit
