#pragma once

#include <string>

namespace orvane::testkit {

// A pseudo-terminal pair: the master side stands in for a board, the slave
// device is what a loader opens as its serial port.
class PseudoTerminal {
  public:
    PseudoTerminal();  // throws std::runtime_error when no pty can be had
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // Closes the master side: the device vanishes for whoever holds the slave.
    void closeMaster();

  private:
    int master_ = -1;
    int slaveHold_ = -1;  // keeps the line up until the loader opens it
    std::string slavePath_;
};

}  // namespace orvane::testkit
