#include "tools/testkit/pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace orvane::testkit {

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal available");
    slavePath_ = ptsname(master_);
    // Holding the slave open keeps the master from seeing a hang-up before
    // the loader has opened the device.
    slaveHold_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (slaveHold_ >= 0 && tcgetattr(slaveHold_, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(slaveHold_, TCSANOW, &raw);
    }
}

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
}

void PseudoTerminal::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
    slaveHold_ = -1;
}

}  // namespace orvane::testkit
