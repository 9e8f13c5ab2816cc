// Line speeds through the kernel's termios2 interface: BOTHER carries any
// rate in baud, where the C library's speed_t knows only the fixed table.
// The kernel headers clash with <termios.h>, so this file stays apart.
#include "platform/line_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace orvane {
namespace {

// The standard rates keep their own codes, so tools that read the line with
// the C library (stty, cfgetospeed) still see them.
struct StandardRate {
    int baud;
    tcflag_t code;
};
constexpr StandardRate kStandardRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

tcflag_t speedCode(int baud) {
    for (const StandardRate& rate : kStandardRates)
        if (rate.baud == baud)
            return rate.code;
    return BOTHER;
}

// Both ends of a line must agree within about 2 %.
bool closeEnough(unsigned asked, unsigned got) {
    return static_cast<long>(got) * 50 >= static_cast<long>(asked) * 49 &&
           static_cast<long>(got) * 50 <= static_cast<long>(asked) * 51;
}

}  // namespace

bool setLineSpeed(int fd, int baud) {
    termios2 settings{};
    if (baud <= 0 || ioctl(fd, TCGETS2, &settings) != 0)
        return false;
    const tcflag_t code = speedCode(baud);
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= code | (code << IBSHIFT);
    settings.c_ispeed = static_cast<speed_t>(baud);
    settings.c_ospeed = static_cast<speed_t>(baud);
    if (ioctl(fd, TCSETS2, &settings) != 0)
        return false;
    // A driver that cannot make the rate keeps another one without failing:
    // only reading the settings back tells.
    termios2 applied{};
    return ioctl(fd, TCGETS2, &applied) == 0 &&
           closeEnough(static_cast<unsigned>(baud), applied.c_ospeed);
}

int lineSpeed(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return 0;
    return static_cast<int>(settings.c_ospeed);
}

}  // namespace orvane
